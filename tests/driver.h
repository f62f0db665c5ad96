// Drives the real executables as a user does: starts them, finds their windows and boxes, works
// controls by id, and looks at files and the registry afterwards.
#pragma once

#include "../resources/resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

// A started program, ended when the object goes, should a test fail halfway.
class Process {
public:
    Process() = default;
    explicit Process(const std::string& exe, const std::string& arguments = "", const std::string& workingDir = "");
    static Process Adopt(HWND window);  // the process that shows the window
    Process(Process&& other) noexcept { *this = std::move(other); }
    Process& operator=(Process&& other) noexcept;
    ~Process() { Kill(); }
    DWORD Id() const { return id_; }
    // The exit code, or nothing while it still runs after timeoutMs.
    std::optional<DWORD> Wait(DWORD timeoutMs = 10000);
    void Kill();

private:
    HANDLE handle_ = NULL;
    DWORD id_ = 0;
};

template <typename Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = 10000)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start > timeoutMs)
            return false;
    return true;
}

DWORD ProcessOf(HWND window);
// Visible top-level windows; processId 0 and NULL texts match any. WaitForWindow gives the first.
std::vector<HWND> TopWindows(DWORD processId, const char* className, const char* caption);
HWND WaitForWindow(DWORD processId, const char* className, const char* caption, DWORD timeoutMs = 10000);
inline HWND WaitForBox(DWORD processId, const char* caption) { return WaitForWindow(processId, "#32770", caption); }
// Ends every process showing a window of the class, such as what an install opened.
void EndProcessesWithWindows(const char* className);
// A window's text as it shows it, asked in UTF-16 so that no process converts it on the way.
std::string WindowText(HWND window);
inline std::string MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }
// Whether the box shows the system's icon (IDI_...), judged by its pixels on the screen.
bool ShowsIcon(HWND box, LPCSTR icon);
// A click is posted, as a user's arrives.
inline void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, (LPARAM)GetDlgItem(dialog, id)); }
inline void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

extern const char* const ProductKey;
extern const char* const ShellFoldersKey;
std::optional<std::string> ReadString(HKEY root, const char* key, const char* name);
inline void WriteString(HKEY root, const char* key, const char* name, const std::string& text)
{
    EXPECT_EQ(RegSetKeyValueA(root, key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1), ERROR_SUCCESS) << name;
}

// The folder above the test programs (T:\ under Wine), and paths in it.
std::string BuildPath(const std::string& relative);
// A new, empty folder under the scratch drive D: (or the build tree without one).
std::string FreshFolder(const std::string& name);
inline bool Exists(const std::string& path, bool folder)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) == !folder;
}
inline bool FileExists(const std::string& path) { return Exists(path, false); }
inline bool FolderExists(const std::string& path) { return Exists(path, true); }
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
Names FolderEntries(const std::string& folder);  // sorted

// The six carried files in install order, and their bytes as the build copied them.
extern const char* const CarriedNames[6];
inline std::string CarriedFile(const std::string& name) { return ReadFileBytes(BuildPath("payload\\" + name)); }
// Whether the folder holds exactly the carried files, byte for byte.
void ExpectInstalled(const std::string& folder);

// setup.exe started and its dialog found; Go() presses "Go!" and returns the box that follows.
struct Installer {
    explicit Installer(const std::string& workingDir = "");
    void Options(bool viewReadme, bool createGroup, bool runProgram);
    HWND Go(const std::string& destination);
    void Dismiss(HWND box);
    Process process;
    HWND dialog = NULL;
};
extern const char* const SuccessText;
extern const char* const FailureText;
// A whole install through the dialog with nothing opened afterwards; true when it succeeded and
// setup ended with 1.
bool Install(const std::string& destination, bool createGroup);
