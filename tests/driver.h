// Drives the real executables as a user does: starts them, finds their windows and message boxes
// by caption, works controls by id, and looks at files and the registry afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace driver {

// Where the build put things: the folder above the test programs (T:\ under Wine).
std::string BuildDir();
std::string BuildPath(const std::string& relative);

// A fresh, empty folder for one test, under the scratch drive D: when there is one.
std::string FreshFolder(const std::string& name);

// A started program; it is ended when the object goes, should a test fail halfway.
class Process {
public:
    Process() = default;
    Process(const std::string& exe, const std::string& arguments = "", const std::string& workingDir = "");
    // A running process the test did not start itself, such as one a program under test started.
    static Process Adopt(DWORD id);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process();
    bool Started() const { return handle_ != NULL; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return handle_; }
    // The exit code, or nothing when the program still runs after timeoutMs.
    std::optional<DWORD> Wait(DWORD timeoutMs = 10000);
    void Kill();

private:
    HANDLE handle_ = NULL;
    DWORD id_ = 0;
};

// Top-level visible windows. processId 0 matches any process; className or caption NULL match any.
HWND FindTopWindow(DWORD processId, const char* className, const char* caption);
HWND WaitForTopWindow(DWORD processId, const char* className, const char* caption, DWORD timeoutMs = 10000);
std::vector<HWND> TopWindows(DWORD processId, const char* className, const char* caption);
DWORD WindowProcessId(HWND window);
// Ends every process that shows a top-level window of the class, such as programs a test started
// indirectly and must not leave behind.
void EndProcessesWithWindows(const char* className);

// A message box (or any dialog) of the process with the given caption.
HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs = 10000);
// The text of a message box.
std::string MessageBoxText(HWND box);
// Whether a message box shows the given standard icon (IDI_...), judged by its pixels on screen.
bool MessageBoxHasIcon(HWND box, LPCSTR standardIcon);
// Every visible top-level window, class and caption, for failure messages.
std::string DescribeTopWindows();
// Which of IDOK, IDCANCEL, ... the box offers.
bool HasButton(HWND dialog, int id);

// Controls by id.
void Click(HWND dialog, int id);
std::string GetText(HWND dialog, int id);
void SetText(HWND dialog, int id, const std::string& text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
std::vector<std::string> ComboItems(HWND dialog, int id);
// The control that has the keyboard focus, seen from the dialog's own thread.
HWND FocusedControl(HWND dialog);
// A key pressed and released in the control that has the dialog's focus.
void PressKey(HWND dialog, WPARAM virtualKey);
// Selects an item of a tree view of another process by the path of item texts from the root,
// each matched as a part of the item's text, expanding on the way; false when a step is missing.
bool SelectTreeItem(HWND tree, const std::vector<std::string>& path, std::string* seen = nullptr);
// The title bar's close box.
void CloseFromTitleBar(HWND window);

// Waits until the condition holds, polling; true when it did within the time.
template <typename Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = 10000)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

// Registry access for arranging and checking; a ScopedValue puts a value back as it was.
std::optional<std::string> ReadString(HKEY root, const std::string& key, const std::string& name);
void WriteString(HKEY root, const std::string& key, const std::string& name, const std::string& text);
void WriteValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size);
void DeleteValue(HKEY root, const std::string& key, const std::string& name);

class ScopedValue {
public:
    ScopedValue(HKEY root, std::string key, std::string name);
    ~ScopedValue();
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    HKEY root_;
    std::string key_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Files.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
void MakeFolders(const std::string& path);
std::vector<std::string> FolderEntries(const std::string& folder);

// The six carried files in install order, and their bytes as the build copied them.
extern const char* const CarriedNames[6];
std::string CarriedFile(const std::string& name);

// The registry places the package uses.
extern const char* const ProductKey;
extern const char* const ShellFoldersKey;
extern const char* const CurrentVersionKey;

}  // namespace driver
