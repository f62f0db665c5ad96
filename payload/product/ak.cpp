// Ambit Knob itself, as small as it comes: one window of class "SimpleClass" showing the knob.
#include <windows.h>

#include "../../resources/resource.h"
#include "../../common/startup.h"

static const char WINDOW_CLASS[] = "SimpleClass";

static void PaintKnob(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    int size = (client.bottom < client.right ? client.bottom : client.right) * 2 / 3;
    int left = (client.right - size) / 2;
    int top = (client.bottom - size) / 2;
    SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    Ellipse(dc, left, top, left + size, top + size);
    // The pointer, at "two o'clock".
    MoveToEx(dc, left + size / 2, top + size / 2, NULL);
    LineTo(dc, left + size * 4 / 5, top + size / 5);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK KnobWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintKnob(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int ProgramMain(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = KnobWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PRODUCT));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&windowClass))
        return 1;
    HWND window = CreateWindowA(WINDOW_CLASS, "Ambit Knob", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, 240, 240, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
