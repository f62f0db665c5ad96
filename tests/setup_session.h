// One run of the real setup.exe, worked through its dialog, with the registry places it reads put
// back as they were afterwards.
#pragma once

#include "../resources/resource.h"
#include "driver.h"

#include <gtest/gtest.h>

namespace driver {

extern const char* const SetupCaption;
extern const char* const OutcomeCaption;
extern const char* const SuccessText;
extern const char* const FailureText;

// A complete install through the dialog with no launches; true when it succeeded and setup ended
// with 1.
bool InstallWithSetup(const std::string& destination, bool createGroup);

class SetupSession {
public:
    explicit SetupSession(const std::string& workingDir = "");
    HWND Dialog() const { return dialog_; }
    Process& Program() { return process_; }

    void SetDestination(const std::string& text) { SetText(dialog_, IDC_DESTINATION, text); }
    void SetOptions(bool viewReadme, bool createGroup, bool runProgram);
    // Presses "Go!" and returns the outcome box, or NULL when none came.
    HWND Go();
    // Dismisses the outcome box with OK.
    void Dismiss(HWND box);
    std::optional<DWORD> ExitCode(DWORD timeoutMs = 10000) { return process_.Wait(timeoutMs); }

private:
    Process process_;
    HWND dialog_ = NULL;
};

// Puts back, after each test, every registry value an install reads or writes.
class SetupTest : public ::testing::Test {
protected:
    ScopedValue programFiles_{HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir"};
    ScopedValue installDir_{HKEY_CURRENT_USER, ProductKey, "InstallDir"};
    ScopedValue programs_{HKEY_CURRENT_USER, ShellFoldersKey, "Programs"};
    void SetUp() override { DeleteValue(HKEY_CURRENT_USER, ProductKey, "InstallDir"); }
    // Whatever an install opened, the readme or the program, goes with the test.
    void TearDown() override
    {
        EndProcessesWithWindows("Notepad");
        EndProcessesWithWindows("SimpleClass");
    }

    bool InstallInto(const std::string& destination, bool createGroup = false)
    {
        return InstallWithSetup(destination, createGroup);
    }
    // Whether the folder holds exactly the carried files as they were carried.
    void ExpectInstalled(const std::string& folder);
};

}  // namespace driver
