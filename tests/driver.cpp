// The end-to-end driver: processes, windows, controls, registry and files.
#include "driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

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

Process Process::Adopt(DWORD id)
{
    Process process;
    process.handle_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id);
    process.id_ = process.handle_ != NULL ? id : 0;
    return process;
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

static std::string Narrow(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    std::string narrow(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, NULL, NULL);
    narrow.resize(size > 0 ? size - 1 : 0);
    return narrow;
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

void EndProcessesWithWindows(const char* className)
{
    for (HWND window : TopWindows(0, className, NULL)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, WindowProcessId(window));
        if (process == NULL)
            continue;
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
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

namespace {
BOOL CALLBACK FindIconControl(HWND child, LPARAM result)
{
    char className[32];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(result) = child;
        return FALSE;
    }
    return TRUE;
}

// The pixels of a rectangle of the screen, as 0x00RRGGBB values.
std::vector<COLORREF> Pixels(HDC source, int x, int y, int width, int height)
{
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++)
            pixels.push_back(GetPixel(memory, column, row));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}
}  // namespace

// An icon drawn on a plain background, as the pixels Pixels() would give of it on screen.
static std::vector<COLORREF> DrawnIcon(LPCSTR icon, COLORREF background, int size)
{
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, LoadIconA(NULL, icon), size, size, 0, NULL, DI_NORMAL);
    std::vector<COLORREF> pixels = Pixels(memory, 0, 0, size, size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return pixels;
}

static bool ShowsIcon(HWND box, LPCSTR standardIcon)
{
    HWND iconControl = NULL;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&iconControl));
    if (iconControl == NULL)
        return false;
    // Another window may cover the box; the user would see it on top.
    SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT rect;
    GetWindowRect(iconControl, &rect);
    int size = GetSystemMetrics(SM_CXICON);
    HDC screen = GetDC(NULL);
    std::vector<COLORREF> shown = Pixels(screen, rect.left, rect.top, size, size);
    ReleaseDC(NULL, screen);
    std::vector<COLORREF> expected = DrawnIcon(standardIcon, shown[0], size);
    size_t same = 0;
    for (size_t i = 0; i < shown.size(); i++)
        same += shown[i] == expected[i];
    return same >= shown.size() * 95 / 100;
}

bool MessageBoxHasIcon(HWND box, LPCSTR standardIcon)
{
    // A box just shown may not be painted yet.
    return WaitUntil([&] { return ShowsIcon(box, standardIcon); }, 3000);
}

std::string DescribeTopWindows()
{
    std::string text;
    for (HWND window : TopWindows(0, NULL, NULL)) {
        char className[128], caption[256];
        GetClassNameA(window, className, sizeof className);
        GetWindowTextA(window, caption, sizeof caption);
        text += std::string("[") + className + "] \"" + caption + "\"\n";
    }
    return text;
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

// Text of a window of another process: asked of the window itself, as a user sees it (a combo box's
// caption is not its field's text), and in UTF-16 so that no process converts it on the way.
static std::string WindowText(HWND window)
{
    LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring wide(length + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, length + 1, (LPARAM)wide.data());
    return Narrow(wide.c_str());
}

std::string GetText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

std::string MessageBoxText(HWND box)
{
    return WindowText(GetDlgItem(box, 0xFFFF));
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
    HWND combo = GetDlgItem(dialog, id);
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        std::wstring item(length + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)item.data());
        items.push_back(Narrow(item.c_str()));
    }
    return items;
}

HWND FocusedControl(HWND dialog)
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

namespace {
// Reads tree-view item texts of another process through a buffer in that process.
class RemoteTree {
public:
    explicit RemoteTree(HWND tree) : tree_(tree)
    {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, WindowProcessId(tree));
        if (process_ != NULL)
            memory_ = (char*)VirtualAllocEx(process_, NULL, 4096, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteTree()
    {
        if (memory_ != NULL)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_ != NULL)
            CloseHandle(process_);
    }
    bool Ready() const { return memory_ != NULL; }
    std::string Text(HTREEITEM item)
    {
        TVITEMA request = {};
        request.mask = TVIF_TEXT | TVIF_HANDLE;
        request.hItem = item;
        request.pszText = memory_ + 512;
        request.cchTextMax = 1024;
        WriteProcessMemory(process_, memory_, &request, sizeof request, NULL);
        SendMessageA(tree_, TVM_GETITEMA, 0, (LPARAM)memory_);
        char text[1024] = "";
        ReadProcessMemory(process_, memory_ + 512, text, sizeof text - 1, NULL);
        return text;
    }

private:
    HWND tree_;
    HANDLE process_ = NULL;
    char* memory_ = NULL;
};
}  // namespace

bool SelectTreeItem(HWND tree, const std::vector<std::string>& path, std::string* seen)
{
    RemoteTree remote(tree);
    if (!remote.Ready())
        return false;
    HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    for (size_t step = 0; step < path.size(); step++) {
        HTREEITEM match = NULL;
        for (HTREEITEM candidate = item; candidate != NULL && match == NULL;
             candidate = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)candidate)) {
            std::string text = remote.Text(candidate);
            if (seen != nullptr)
                *seen += "[" + text + "] ";
            if (text.find(path[step]) != std::string::npos)
                match = candidate;
        }
        if (match == NULL)
            return false;
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)match);
        if (step + 1 == path.size())
            return true;
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)match);
        item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)match);
    }
    return false;
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

const char* const CarriedNames[6] = {"uninstal.exe", "file_id.diz", "license.txt", "cindertop.url", "readme.txt", "ak.exe"};

std::string CarriedFile(const std::string& name)
{
    return ReadFileBytes(BuildPath("payload\\" + name));
}

}  // namespace driver
