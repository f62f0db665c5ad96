// The end-to-end driver: processes, windows, controls, registry and files.
#include "driver.h"

#include <gtest/gtest.h>

namespace driver {

const char* const ProductKey = "Software\\Cindertop\\AmbitKnob";
const char* const ShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const CurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";

std::string BuildDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string exe = path;
    std::string dir = exe.substr(0, exe.find_last_of('\\'));  // ...\tests
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string BuildPath(const std::string& relative)
{
    return BuildDir() + "\\" + relative;
}

// Removes a folder the tests made, refusing anything outside the scratch places.
static void RemoveScratch(const std::string& path)
{
    bool scratch = path.rfind("D:\\", 0) == 0 || path.find("\\scratch\\") != std::string::npos;
    if (!scratch || path.size() < 5)
        return;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveScratch(child);
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(child.c_str());
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::string FreshFolder(const std::string& name)
{
    std::string root = GetFileAttributesA("D:\\") != INVALID_FILE_ATTRIBUTES ? "D:" : BuildPath("scratch");
    CreateDirectoryA(root.c_str(), NULL);
    std::string folder = root + "\\" + name;
    RemoveScratch(folder);
    MakeFolders(folder);
    return folder;
}

Process::Process(const std::string& exe, const std::string& arguments, const std::string& workingDir)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                       workingDir.empty() ? NULL : workingDir.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        handle_ = info.hProcess;
        id_ = info.dwProcessId;
    }
}

Process::Process(Process&& other) noexcept : handle_(other.handle_), id_(other.id_)
{
    other.handle_ = NULL;
    other.id_ = 0;
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        Kill();
        handle_ = other.handle_;
        id_ = other.id_;
        other.handle_ = NULL;
        other.id_ = 0;
    }
    return *this;
}

Process::~Process()
{
    Kill();
}

std::optional<DWORD> Process::Wait(DWORD timeoutMs)
{
    if (handle_ == NULL || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void Process::Kill()
{
    if (handle_ == NULL)
        return;
    if (WaitForSingleObject(handle_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
    }
    CloseHandle(handle_);
    handle_ = NULL;
}

DWORD WindowProcessId(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

namespace {
struct WindowQuery {
    DWORD processId;
    const char* className;
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data)
{
    WindowQuery& query = *reinterpret_cast<WindowQuery*>(data);
    if (!IsWindowVisible(window))
        return TRUE;
    if (query.processId != 0 && WindowProcessId(window) != query.processId)
        return TRUE;
    char text[512];
    if (query.className != NULL) {
        GetClassNameA(window, text, sizeof text);
        if (lstrcmpiA(text, query.className) != 0)
            return TRUE;
    }
    if (query.caption != NULL) {
        GetWindowTextA(window, text, sizeof text);
        if (lstrcmpA(text, query.caption) != 0)
            return TRUE;
    }
    query.found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> TopWindows(DWORD processId, const char* className, const char* caption)
{
    WindowQuery query{processId, className, caption, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND FindTopWindow(DWORD processId, const char* className, const char* caption)
{
    std::vector<HWND> found = TopWindows(processId, className, caption);
    return found.empty() ? NULL : found.front();
}

HWND WaitForTopWindow(DWORD processId, const char* className, const char* caption, DWORD timeoutMs)
{
    HWND window = NULL;
    WaitUntil([&] { return (window = FindTopWindow(processId, className, caption)) != NULL; }, timeoutMs);
    return window;
}

HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitForTopWindow(processId, "#32770", caption, timeoutMs);
}

bool WaitForNoDialog(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitUntil([&] { return FindTopWindow(processId, "#32770", caption) == NULL; }, timeoutMs);
}

std::string MessageBoxText(HWND box)
{
    char text[2048] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

static BOOL CALLBACK FindIconControl(HWND child, LPARAM data)
{
    char className[32];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0 || !IsWindowVisible(child) ||
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HWND*>(data) = child;
    return FALSE;
}

// The static control that shows a message box's icon. Its id differs between systems (0x14 on
// Windows, 0x440 under Wine), its style does not.
static HWND IconControl(HWND box)
{
    HWND found = NULL;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&found));
    return found;
}

// What a window shows on the screen, its top-level window raised first.
static std::string ScreenPixels(HWND window)
{
    SetWindowPos(GetAncestor(window, GA_ROOT), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(300);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return std::string();
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    std::string pixels((const char*)bits, (size_t)width * height * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

static const char ReferenceCaption[] = "driver: reference icon";

static DWORD WINAPI ShowReferenceBox(void* style)
{
    MessageBoxA(NULL, "reference", ReferenceCaption, (UINT)(UINT_PTR)style | MB_OK);
    return 0;
}

// The standard icon as this process's own message box shows it. Icon handles belong to the
// process that loaded them, so another process's box is compared by what it shows.
static std::string ReferencePixels(LPCSTR standardIcon)
{
    static std::vector<std::pair<LPCSTR, std::string>> cache;
    for (const auto& entry : cache) {
        if (entry.first == standardIcon)
            return entry.second;
    }
    UINT style = standardIcon == IDI_QUESTION      ? MB_ICONQUESTION
                 : standardIcon == IDI_EXCLAMATION ? MB_ICONEXCLAMATION
                 : standardIcon == IDI_HAND        ? MB_ICONSTOP
                 : standardIcon == IDI_ASTERISK    ? MB_ICONINFORMATION
                                                   : 0;
    if (style == 0)
        return std::string();
    HANDLE thread = CreateThread(NULL, 0, ShowReferenceBox, (void*)(UINT_PTR)style, 0, NULL);
    HWND box = WaitForDialog(GetCurrentProcessId(), ReferenceCaption);
    HWND control = box == NULL ? NULL : IconControl(box);
    std::string pixels = control == NULL ? std::string() : ScreenPixels(control);
    if (box != NULL)
        Click(box, IDOK);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    if (!pixels.empty())
        cache.emplace_back(standardIcon, pixels);
    return pixels;
}

bool MessageBoxHasIcon(HWND box, LPCSTR standardIcon)
{
    HWND control = IconControl(box);
    if (control == NULL)
        return false;
    std::string reference = ReferencePixels(standardIcon);
    return !reference.empty() && ScreenPixels(control) == reference;
}

bool HasButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return button != NULL && IsWindowVisible(button);
}

void Click(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
}

std::string GetText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(control);
    std::string text(length + 1, '\0');
    GetWindowTextA(control, text.data(), length + 1);
    text.resize(lstrlenA(text.c_str()));
    return text;
}

void SetText(HWND dialog, int id, const std::string& text)
{
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, (LPARAM)text.c_str());
}

bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::vector<std::string> ComboItems(HWND dialog, int id)
{
    std::vector<std::string> items;
    LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, i, 0);
        std::string item(length + 1, '\0');
        SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, i, (LPARAM)item.data());
        item.resize(length);
        items.push_back(item);
    }
    return items;
}

// The control in the dialog that has the keyboard focus, seen from the dialog's own thread.
static HWND FocusedControl(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(dialog, NULL);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != NULL)
        return info.hwndFocus;
    return dialog;
}

void PressKey(HWND dialog, WPARAM virtualKey)
{
    HWND target = FocusedControl(dialog);
    UINT scan = MapVirtualKeyA((UINT)virtualKey, 0);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    if (virtualKey == VK_RETURN || virtualKey == VK_ESCAPE)
        PostMessageA(target, WM_CHAR, virtualKey == VK_RETURN ? '\r' : 0x1B, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000);
}

void CloseFromTitleBar(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::optional<std::string> ReadString(HKEY root, const std::string& key, const std::string& name)
{
    HKEY hKey;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    char data[4096];
    DWORD size = sizeof data - 1, type = 0;
    LONG status = RegQueryValueExA(hKey, name.c_str(), NULL, &type, (BYTE*)data, &size);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    data[size] = '\0';
    return std::string(data);
}

void WriteValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size)
{
    HKEY hKey;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &hKey, NULL), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(hKey, name.c_str(), 0, type, (const BYTE*)data, size), ERROR_SUCCESS);
    RegCloseKey(hKey);
}

void WriteString(HKEY root, const std::string& key, const std::string& name, const std::string& text)
{
    WriteValue(root, key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

void DeleteValue(HKEY root, const std::string& key, const std::string& name)
{
    HKEY hKey;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_WRITE, &hKey) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(hKey, name.c_str());
    RegCloseKey(hKey);
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY hKey;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

ScopedValue::ScopedValue(HKEY root, std::string key, std::string name)
    : root_(root), key_(std::move(key)), name_(std::move(name))
{
    HKEY hKey;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExA(hKey, name_.c_str(), NULL, &type_, NULL, &size) == ERROR_SUCCESS) {
        data_.resize(size);
        existed_ = RegQueryValueExA(hKey, name_.c_str(), NULL, &type_, data_.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(hKey);
}

ScopedValue::~ScopedValue()
{
    if (existed_)
        WriteValue(root_, key_, name_, type_, data_.data(), (DWORD)data_.size());
    else
        DeleteValue(root_, key_, name_);
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes(GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
}

void MakeFolders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    }
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

std::string CarriedFile(const std::string& name)
{
    return ReadFileBytes(BuildPath("payload\\" + name));
}

}  // namespace driver
