// Drives the real executables as a user does: starts them, finds their windows and boxes, works
// controls by id, and looks at files and the registry afterwards.
#pragma once

#include "../resources/resource.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

inline const char* const ProductKey = "Software\\Cindertop\\AmbitKnob";
inline const char* const CurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
inline const char* const ShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline const char* const SuccessText = "Installation was finished successfully!";
inline const char* const FailureText = "Error detected. Installation aborted!";
inline const char* const Caption = "Uninstalling Ambit Knob";
inline const char* const Question = "Are you sure you want to uninstall Ambit Knob?";
// The six carried files in install order.
inline const char* const CarriedNames[6] = {"uninstal.exe",  "file_id.diz", "license.txt",
                                            "cindertop.url", "readme.txt",  "ak.exe"};

template <typename Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = 10000)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start > timeoutMs)
            return false;
    return true;
}

inline DWORD ProcessOf(HWND window)
{
    DWORD id = 0;
    return GetWindowThreadProcessId(window, &id), id;
}

// A started program, or one that shows a window; it is ended when the object goes, should a test
// fail halfway.
class Process {
public:
    explicit Process(const std::string& exe, const std::string& arguments = "", const std::string& workingDir = "")
    {
        std::string line = "\"" + exe + "\" " + arguments;
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION info = {};
        // Wine under load now and then fails a start that succeeds when tried again.
        for (int tries = 3;
             tries-- > 0 && !CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                                            workingDir.empty() ? NULL : workingDir.c_str(), &startup, &info);
             Sleep(500)) {
        }
        EXPECT_NE(info.hProcess, (HANDLE)NULL) << exe << ", error " << GetLastError();
        CloseHandle(info.hThread);
        handle_ = info.hProcess, id_ = info.dwProcessId;
    }
    explicit Process(HWND window)
        : handle_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, ProcessOf(window))),
          id_(ProcessOf(window))
    {
    }
    Process(const Process&) = delete;
    ~Process() { Kill(); }
    DWORD Id() const { return id_; }
    // The exit code, or nothing while it still runs after timeoutMs.
    std::optional<DWORD> Wait(DWORD timeoutMs = 10000)
    {
        DWORD code = 0;
        bool ended = handle_ != NULL && WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(handle_, &code);
        return ended ? std::optional(code) : std::nullopt;
    }
    void Kill()
    {
        if (handle_ != NULL && TerminateProcess(handle_, 99))
            WaitForSingleObject(handle_, 5000);
        CloseHandle(handle_);
        handle_ = NULL;
    }

private:
    HANDLE handle_ = NULL;
    DWORD id_ = 0;
};

inline BOOL CALLBACK CollectWindow(HWND window, LPARAM windows)
{
    ((std::vector<HWND>*)windows)->push_back(window);
    return TRUE;
}

// Visible top-level windows; processId 0 and NULL texts match any. The caption is looked at last:
// of a window of this process it is asked of the window's thread.
inline std::vector<HWND> TopWindows(DWORD processId, const char* className, const char* caption)
{
    std::vector<HWND> all, found;
    EnumWindows(CollectWindow, (LPARAM)&all);
    for (HWND window : all) {
        char windowClass[256] = "", text[256] = "";
        GetClassNameA(window, windowClass, sizeof windowClass);
        if (IsWindowVisible(window) && (processId == 0 || ProcessOf(window) == processId) &&
            (!className || !lstrcmpiA(windowClass, className)) &&
            (!caption || (GetWindowTextA(window, text, sizeof text) && !strcmp(text, caption))))
            found.push_back(window);
    }
    return found;
}

inline HWND WaitForWindow(DWORD processId, const char* className, const char* caption, DWORD timeoutMs = 10000)
{
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = TopWindows(processId, className, caption)).empty(); }, timeoutMs);
    return found.empty() ? NULL : found.front();
}

inline HWND WaitForBox(DWORD processId, const char* caption) { return WaitForWindow(processId, "#32770", caption); }

// A window's text as it shows it, asked of the window itself (a combo box's caption is not its
// field's text).
inline std::string WindowText(HWND window)
{
    char text[1024] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

inline std::string MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

// The icon a box shows, told by a digest of its pixels on the screen once it is drawn.
inline std::string IconPixels(HWND box)
{
    HWND icon = NULL;
    while ((icon = FindWindowExA(box, icon, "Static", NULL)) &&
           (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    }
    RECT place = {};
    HDC screen = GetDC(NULL); // a window of another process gives its own pixels to none
    std::string pixels;
    WaitUntil([&] {
        pixels.clear();
        for (int i = 0; GetWindowRect(icon, &place) && i < 32 * 32; i++)
            pixels += std::to_string(GetPixel(screen, place.left + i % 32, place.top + i / 32)) + ",";
        return pixels.find_first_not_of(pixels.substr(0, pixels.find(',') + 1)) != std::string::npos;
    });
    ReleaseDC(NULL, screen);
    return std::to_string(std::hash<std::string>()(pixels));
}

// A click is posted, as a user's arrives.
inline void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, (LPARAM)GetDlgItem(dialog, id)); }

inline HWND Focus(HWND dialog)
{
    GUITHREADINFO thread = {sizeof thread};
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &thread);
    return thread.hwndFocus;
}

// Enter or Escape, typed where the dialog's focus is.
inline void PressKey(HWND dialog, WPARAM key)
{
    PostMessageA(Focus(dialog), WM_KEYDOWN, key, 1);
    PostMessageA(Focus(dialog), WM_CHAR, key == VK_RETURN ? '\r' : 0x1B, 1);
    PostMessageA(Focus(dialog), WM_KEYUP, key, 0xC0000001);
}

inline std::optional<std::string> ReadString(HKEY root, const char* key, const char* name)
{
    char data[4096] = "";
    DWORD size = sizeof data;
    return RegGetValueA(root, key, name, RRF_RT_REG_SZ, NULL, data, &size) == ERROR_SUCCESS
               ? std::optional<std::string>(data)
               : std::nullopt;
}

inline void WriteString(HKEY root, const char* key, const char* name, const std::string& text)
{
    EXPECT_EQ(RegSetKeyValueA(root, key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1), ERROR_SUCCESS) << name;
}

// The folder above the test programs (T:\ under Wine), and paths in it.
inline std::string BuildPath(const std::string& relative)
{
    char path[MAX_PATH];
    std::string tests(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    return tests.substr(0, tests.find_last_of('\\', tests.find_last_of('\\') - 1)) + "\\" + relative;
}

inline bool FolderExists(const std::string& path) { return PathIsDirectoryA(path.c_str()); }

inline bool FileExists(const std::string& path) { return PathFileExistsA(path.c_str()) && !FolderExists(path); }

inline std::string ReadFileBytes(const std::string& path)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL);
    CloseHandle(file);
    return bytes.substr(0, read);
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL)) << path;
    CloseHandle(file);
}

// The names in a folder, sorted.
inline Names FolderEntries(const std::string& folder)
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

// Under Wine, the host's name of a Windows path.
inline std::string HostPath(const std::wstring& path)
{
    auto unixName =
        (char*(CDECL*)(const WCHAR*))(void*)GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    char* name = unixName ? unixName(path.c_str()) : NULL;
    std::string host = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// The host's "ln" and "find", as Wine makes no links itself; it runs on while the caller goes on.
inline void Host(const std::string& command) { WinExec(("\\\\?\\unix" + command).c_str(), 0); }

// Removes what the tests made below a scratch folder, a link as a link where the system can; names
// outside the code page and paths past 259 characters too.
inline void RemoveTree(std::wstring path)
{
    path = L"\\\\?\\" + path.substr(0, path.find_last_not_of(L'\\') + 1);
    DWORD attributes = GetFileAttributesW(path.c_str());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
        for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry))
            if (lstrcmpW(entry.cFileName, L".") && lstrcmpW(entry.cFileName, L".."))
                RemoveTree(path.substr(4) + L"\\" + entry.cFileName);
        FindClose(find);
        RemoveDirectoryW(path.c_str());
    } else if (!DeleteFileW(path.c_str())) {
        RemoveDirectoryW(path.c_str());
    }
}

// A path of exactly `length` characters: `path`, short folder names, then `tail`.
inline std::string PathOfLength(size_t length, const std::string& tail = "x", std::string path = "C:\\")
{
    while (path.size() + tail.size() < length)
        path += path.size() % 9 == 0 ? '\\' : 'a';
    return (path + tail).substr(0, length);
}

// A new, empty folder on the scratch drive D:.
inline std::string FreshFolder(const std::string& name)
{
    std::string folder = "D:\\" + name;
    RemoveTree(std::wstring(folder.begin(), folder.end()));
    SHCreateDirectoryExA(NULL, folder.c_str(), NULL);
    return folder;
}

inline std::string CarriedFile(const std::string& name) { return ReadFileBytes(BuildPath("payload\\" + name)); }

// Whether the folder holds exactly the carried files, byte for byte as the build copied them.
inline void ExpectInstalled(const std::string& folder)
{
    for (const char* name : CarriedNames)
        EXPECT_TRUE(ReadFileBytes(folder + "\\" + name) == CarriedFile(name)) << folder << "\\" << name;
    EXPECT_EQ(FolderEntries(folder).size(), 6u) << folder;
}

// setup.exe started and its dialog found; Go() presses "Go!" and returns the box that follows.
struct Installer {
    explicit Installer(const std::string& workingDir = "")
        : process(BuildPath("setup.exe"), "", workingDir), dialog(WaitForBox(process.Id(), "Ambit Knob 2.00 Setup"))
    {
        EXPECT_NE(dialog, (HWND)NULL) << "the setup dialog did not appear";
    }
    void Options(bool viewReadme, bool createGroup, bool runProgram)
    {
        CheckDlgButton(dialog, IDC_VIEW_README, viewReadme);
        CheckDlgButton(dialog, IDC_CREATE_GROUP, createGroup);
        CheckDlgButton(dialog, IDC_RUN_APP, runProgram);
    }
    HWND Go(const std::string& destination)
    {
        SetDlgItemTextA(dialog, IDC_DESTINATION, destination.c_str());
        Click(dialog, IDOK);
        return WaitForBox(process.Id(), "Information");
    }
    void Dismiss(HWND box)
    {
        Click(box, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
    Process process;
    HWND dialog;
};

// The success box's text. Wine keeps no folder's permissions, so a folder setup finds there reads as
// one that programs without elevation can change, and setup, elevated under Wine, says so.
inline std::string SuccessIn(bool folderWasThere)
{
    return SuccessText + std::string(folderWasThere ? "\nAmbit Knob runs from a folder that programs without "
                                                      "administrator rights can change."
                                                    : "");
}

// A whole install through the dialog with nothing opened afterwards; true when it succeeded and
// setup ended with 1.
inline bool Install(const std::string& destination, bool createGroup)
{
    std::string success = SuccessIn(FolderExists(destination));
    Installer setup;
    setup.Options(false, createGroup, false);
    HWND box = setup.Go(destination);
    std::string text = MessageBoxText(box);
    setup.Dismiss(box);
    if (text != success)
        std::cerr << destination << ": " << text << "\n";
    return text == success && setup.process.Wait() == 1u;
}

// The uninstaller's box of another process than the given one, should one come in time.
inline HWND BoxBesides(DWORD processId, DWORD timeoutMs = 10000)
{
    HWND found = NULL;
    WaitUntil(
        [&] {
            for (HWND box : TopWindows(0, "#32770", Caption))
                found = ProcessOf(box) != processId ? box : found;
            return found != NULL;
        },
        timeoutMs);
    return found;
}

// The second stage's question answered Yes or Cancel: the text of its last box ("" after Cancel),
// with the code the stage then ended with, if it ended.
inline std::string Answer(Process& second, HWND question, bool yes, std::optional<DWORD>* exitCode)
{
    HWND box = NULL;
    Click(question, yes ? IDOK : IDCANCEL);
    WaitUntil(
        [&] {
            for (HWND window : TopWindows(second.Id(), "#32770", Caption))
                box = window != question && MessageBoxText(window) != Question ? window : box;
            return !yes || box != NULL;
        },
        30000);
    std::string text = yes ? box ? MessageBoxText(box) : "(no last box)" : "";
    Click(box, IDOK);
    *exitCode = second.Wait();
    return text;
}

// The temporary folder, with its separator at the end.
inline std::string TempFolder()
{
    char path[MAX_PATH];
    return std::string(path, GetTempPathA(MAX_PATH, path));
}
// The earlier versions' temporary copy of the uninstaller, which a user may still start by hand.
inline std::string TempCopy() { return TempFolder() + "uninstall.exe"; }
// The folders the uninstaller makes for its temporary copies, full paths, sorted.
inline Names CopyFolders()
{
    Names folders;
    for (const std::string& name : FolderEntries(TempFolder().substr(0, TempFolder().size() - 1)))
        if (name.rfind("AmbitKnob-Uninstall-", 0) == 0)
            folders.push_back(TempFolder() + name);
    return folders;
}

// Each end-to-end test starts with no install record, no file pending deletion at restart and no
// temporary copy of the uninstaller; afterwards the folders the package reads (the temporary ones too)
// are put back and what an install opened is ended.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(TempCopy().c_str());
        for (const std::string& folder : CopyFolders())
            RemoveTree(std::wstring(folder.begin(), folder.end()));
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                           "PendingFileRenameOperations");
        RegDeleteTreeA(HKEY_CURRENT_USER, ProductKey);
        for (std::string entry : {"", "-1", "-2"})
            RegDeleteTreeA(HKEY_CURRENT_USER,
                           ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob" + entry).c_str());
        // With no record, shortcuts an earlier test left in the group would be the user's.
        std::string group = programs_ + "\\Ambit Knob";
        RemoveTree(std::wstring(group.begin(), group.end()));
    }
    void TearDown() override
    {
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs_);
        WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", programFiles_);
        for (const char* name : {"TMP", "TEMP"}) // as the test program was started with them
            SetEnvironmentVariableA(name, getenv(name));
        for (const char* opened : {"Notepad", "SimpleClass"})
            for (HWND window : TopWindows(0, opened, NULL))
                if (ProcessOf(window) != GetCurrentProcessId())
                    Process(window).Kill();
    }
    std::optional<std::string> Recorded(const char* name) { return ReadString(HKEY_CURRENT_USER, ProductKey, name); }
    std::string programs_ = ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or("");
    std::string programFiles_ = ReadString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir").value_or("");
};
