// Starting setup.exe and working its dialog.
#include "setup_session.h"

namespace driver {

const char* const SetupCaption = "Ambit Knob 2.00 Setup";
const char* const OutcomeCaption = "Information";
const char* const SuccessText = "Installation was finished successfully!";
const char* const FailureText = "Error detected. Installation aborted!";

SetupSession::SetupSession(const std::string& workingDir)
    : process_(BuildPath("setup.exe"), "", workingDir)
{
    EXPECT_TRUE(process_.Started());
    dialog_ = WaitForDialog(process_.Id(), SetupCaption);
    EXPECT_NE(dialog_, (HWND)NULL) << "the setup dialog did not appear";
}

void SetupSession::SetOptions(bool viewReadme, bool createGroup, bool runProgram)
{
    SetChecked(dialog_, IDC_VIEW_README, viewReadme);
    SetChecked(dialog_, IDC_CREATE_GROUP, createGroup);
    SetChecked(dialog_, IDC_RUN_APP, runProgram);
}

HWND SetupSession::Go()
{
    Click(dialog_, IDOK);
    return WaitForDialog(process_.Id(), OutcomeCaption);
}

void SetupSession::Dismiss(HWND box)
{
    Click(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

bool InstallWithSetup(const std::string& destination, bool createGroup)
{
    SetupSession setup;
    if (setup.Dialog() == NULL)
        return false;
    setup.SetOptions(false, createGroup, false);
    setup.SetDestination(destination);
    HWND box = setup.Go();
    if (box == NULL)
        return false;
    bool succeeded = MessageBoxText(box) == SuccessText;
    setup.Dismiss(box);
    if (!succeeded) {
        setup.Program().Kill();
        return false;
    }
    std::optional<DWORD> code = setup.ExitCode();
    return code == 1u;
}

void SetupTest::ExpectInstalled(const std::string& folder)
{
    for (const char* name : CarriedNames) {
        std::string path = folder + "\\" + name;
        ASSERT_TRUE(FileExists(path)) << path;
        EXPECT_TRUE(ReadFileBytes(path) == CarriedFile(name)) << path << " differs from what was carried";
    }
    EXPECT_EQ(FolderEntries(folder).size(), 6u) << folder;
}

}  // namespace driver
