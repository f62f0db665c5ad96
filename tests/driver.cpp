// The end-to-end driver: processes, windows, registry and files, and setup.exe worked through its
// dialog.
#include "driver.h"

#include <shlobj.h>

#include <algorithm>

const char* const ProductKey = "Software\\Cindertop\\AmbitKnob";
const char* const ShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const SuccessText = "Installation was finished successfully!";
const char* const FailureText = "Error detected. Installation aborted!";
const char* const CarriedNames[6] = {"uninstal.exe", "file_id.diz", "license.txt", "cindertop.url", "readme.txt", "ak.exe"};

Process::Process(const std::string& exe, const std::string& arguments, const std::string& workingDir)
{
    std::string line = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                               workingDir.empty() ? NULL : workingDir.c_str(), &startup, &info)) << exe;
    CloseHandle(info.hThread);
    handle_ = info.hProcess;
    id_ = info.dwProcessId;
}

Process Process::Adopt(HWND window)
{
    Process process;
    process.id_ = ProcessOf(window);
    process.handle_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, process.id_);
    return process;
}

Process& Process::operator=(Process&& other) noexcept
{
    std::swap(handle_, other.handle_);
    std::swap(id_, other.id_);
    return *this;
}

std::optional<DWORD> Process::Wait(DWORD timeoutMs)
{
    DWORD code = 0;
    if (handle_ == NULL || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void Process::Kill()
{
    if (handle_ != NULL && TerminateProcess(handle_, 99))
        WaitForSingleObject(handle_, 5000);
    if (handle_ != NULL)
        CloseHandle(handle_);
    handle_ = NULL;
}

DWORD ProcessOf(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM windows)
{
    ((std::vector<HWND>*)windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopWindows(DWORD processId, const char* className, const char* caption)
{
    std::vector<HWND> all, found;
    EnumWindows(CollectWindow, (LPARAM)&all);
    for (HWND window : all) {
        // The caption last: of a window of this process it is asked of the window's thread.
        char windowClass[256] = "", text[256] = "";
        GetClassNameA(window, windowClass, sizeof windowClass);
        if (IsWindowVisible(window) && (processId == 0 || ProcessOf(window) == processId) &&
            (!className || !lstrcmpiA(windowClass, className)) &&
            (!caption || (GetWindowTextA(window, text, sizeof text) && !strcmp(text, caption))))
            found.push_back(window);
    }
    return found;
}

HWND WaitForWindow(DWORD processId, const char* className, const char* caption, DWORD timeoutMs)
{
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = TopWindows(processId, className, caption)).empty(); }, timeoutMs);
    return found.empty() ? NULL : found.front();
}

void EndProcessesWithWindows(const char* className)
{
    for (HWND window : TopWindows(0, className, NULL))
        Process::Adopt(window).Kill();
}

std::string WindowText(HWND window)
{
    WCHAR wide[1024] = L"";
    char text[1024] = "";
    SendMessageW(window, WM_GETTEXT, 1024, (LPARAM)wide);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
    return text;
}

// The icon drawn here on the box's own background, against what the box's icon control shows.
static bool IconMatches(HWND box, LPCSTR icon)
{
    HWND control = GetWindow(box, GW_CHILD);
    while (control && (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        control = GetWindow(control, GW_HWNDNEXT);
    RECT rect = {};
    GetWindowRect(control, &rect);
    SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    int size = GetSystemMetrics(SM_CXICON), same = 0;
    HDC screen = GetDC(NULL), shown = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
    HGDIOBJ bitmaps[2] = {CreateCompatibleBitmap(screen, size, size), CreateCompatibleBitmap(screen, size, size)};
    SelectObject(shown, bitmaps[0]);
    SelectObject(drawn, bitmaps[1]);
    BitBlt(shown, 0, 0, size, size, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(drawn, GetStockObject(DC_BRUSH));
    SetDCBrushColor(drawn, GetPixel(shown, 0, 0));
    PatBlt(drawn, 0, 0, size, size, PATCOPY);
    DrawIconEx(drawn, 0, 0, LoadIconA(NULL, icon), size, size, 0, NULL, DI_NORMAL);
    for (int i = 0; i < size * size; i++)
        same += GetPixel(shown, i % size, i / size) == GetPixel(drawn, i % size, i / size);
    DeleteDC(shown);
    DeleteDC(drawn);
    DeleteObject(bitmaps[0]);
    DeleteObject(bitmaps[1]);
    ReleaseDC(NULL, screen);
    return control != NULL && same >= size * size * 95 / 100;
}

bool ShowsIcon(HWND box, LPCSTR icon)
{
    return WaitUntil([&] { return IconMatches(box, icon); }, 3000);  // a new box may not be painted yet
}

std::optional<std::string> ReadString(HKEY root, const char* key, const char* name)
{
    char data[4096];
    DWORD size = sizeof data;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, NULL, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

std::string BuildPath(const std::string& relative)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string tests = path;
    tests.resize(tests.find_last_of('\\'));
    return tests.substr(0, tests.find_last_of('\\')) + "\\" + relative;
}

// Removes what the tests made below a scratch folder, a link as a link where the system can.
static void RemoveScratch(const std::string& path)
{
    for (const std::string& name : FolderEntries(path)) {
        std::string child = path + "\\" + name;
        DWORD attributes = GetFileAttributesA(child.c_str());
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveScratch(child);
        else if (!DeleteFileA(child.c_str()))
            RemoveDirectoryA(child.c_str());
    }
    RemoveDirectoryA(path.c_str());
}

std::string FreshFolder(const std::string& name)
{
    std::string folder = (FolderExists("D:\\") ? "D:\\" : BuildPath("scratch\\")) + name;
    RemoveScratch(folder);
    SHCreateDirectoryExA(NULL, folder.c_str(), NULL);
    return folder;
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL);
    CloseHandle(file);
    return bytes.substr(0, read);
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL)) << path;
    CloseHandle(file);
}

Names FolderEntries(const std::string& folder)
{
    Names names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
        if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
            names.push_back(entry.cFileName);
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectInstalled(const std::string& folder)
{
    for (const char* name : CarriedNames)
        EXPECT_TRUE(ReadFileBytes(folder + "\\" + name) == CarriedFile(name)) << folder << "\\" << name;
    EXPECT_EQ(FolderEntries(folder).size(), 6u) << folder;
}

Installer::Installer(const std::string& workingDir) : process(BuildPath("setup.exe"), "", workingDir)
{
    dialog = WaitForBox(process.Id(), "Ambit Knob 2.00 Setup");
    EXPECT_NE(dialog, (HWND)NULL) << "the setup dialog did not appear";
}

void Installer::Options(bool viewReadme, bool createGroup, bool runProgram)
{
    CheckDlgButton(dialog, IDC_VIEW_README, viewReadme);
    CheckDlgButton(dialog, IDC_CREATE_GROUP, createGroup);
    CheckDlgButton(dialog, IDC_RUN_APP, runProgram);
}

HWND Installer::Go(const std::string& destination)
{
    SetText(dialog, IDC_DESTINATION, destination);
    Click(dialog, IDOK);
    return WaitForBox(process.Id(), "Information");
}

void Installer::Dismiss(HWND box)
{
    Click(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

bool Install(const std::string& destination, bool createGroup)
{
    Installer setup;
    setup.Options(false, createGroup, false);
    HWND box = setup.Go(destination);
    std::string text = MessageBoxText(box);
    setup.Dismiss(box);
    return text == SuccessText && setup.process.Wait() == 1u;
}
