// A stand-in for the running product with a window of its class "SimpleClass", for the uninstaller's
// tests. "probe_product watch <folder> <report>" writes to <report>, when asked to close, whether
// <folder> still exists, then closes. "probe_product hang" never returns from WM_CLOSE.
#include <windows.h>

#include <string>

static std::string g_watched;
static std::string g_report;
static bool g_hang;

static LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (g_hang) {
            for (;;)
                Sleep(1000);
        }
        if (!g_report.empty()) {
            DWORD attributes = GetFileAttributesA(g_watched.c_str());
            const char* state = attributes == INVALID_FILE_ATTRIBUTES ? "absent" : "present";
            HANDLE file = CreateFileA(g_report.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            DWORD written;
            WriteFile(file, state, lstrlenA(state), &written, NULL);
            CloseHandle(file);
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc >= 2 && std::string(__argv[1]) == "hang")
        g_hang = true;
    if (__argc >= 4 && std::string(__argv[1]) == "watch") {
        g_watched = __argv[2];
        g_report = __argv[3];
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SimpleClass";
    if (!RegisterClassA(&windowClass))
        return 1;
    if (!CreateWindowA("SimpleClass", "Probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, NULL,
                       NULL, instance, NULL))
        return 1;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
