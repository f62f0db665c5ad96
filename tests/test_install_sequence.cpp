// The install sequence's stop rules around the program group's shortcuts, run in-process against a
// stand-in group that records each shortcut asked for and fails the one a test chooses.
#include "../setup/setup.h"
#include "driver.h"

WCHAR* GroupFolder;
static WCHAR g_group[] = L"C:\\Group";
static Names g_shortcuts;  // "target|folder|description|link name" in the order asked for
static size_t g_failing;   // the 1-based shortcut that fails, 0 for none
static std::string g_taken; // a file another program makes while the readme's shortcut is asked for

bool PrepareGroupFolder() { return (GroupFolder = g_group) != NULL; }
bool CreateGroupFolder() { return true; }
void ReleaseGroupFolder() { GroupFolder = NULL; }
bool CreateShortcut(const char* target, const WCHAR* folder, const char* description, const char* linkName)
{
    g_shortcuts.push_back(std::string(target) + "|" + std::string(folder, folder + wcslen(folder)) + "|" + description + "|" + linkName);
    if (g_shortcuts.size() == 4 && !g_taken.empty())
        WriteFileBytes(g_taken, "another program's");
    return g_shortcuts.size() != g_failing;
}

// A failed shortcut after the uninstaller, the licence or the web shortcut stops the sequence after
// the next file; one after the readme or the program only makes the result false. A program whose
// name another program takes after setup judged the folder is not written over, but still recorded
// and gets its shortcut. Without the group no shortcut is asked for.
TEST(InstallSequence, FailedShortcutStopsAfterTheNextFileUpToTheWebShortcut)
{
    const Names all = {"ak.exe", "cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"};
    struct Case {
        size_t failing;
        Names written;
        size_t shortcuts;
        bool group = true, programTaken = false;
    } cases[] = {
        {1, {"file_id.diz", "uninstal.exe"}, 1},
        {2, {"cindertop.url", "file_id.diz", "license.txt", "uninstal.exe"}, 2},
        {3, {"cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"}, 3},
        {4, all, 5},
        {5, all, 5},
        {0, all, 5, true, true},
        {1, all, 0, false},
        {0, all, 5},
    };
    std::string destination, program;
    for (const Case& c : cases) {
        SCOPED_TRACE("failing shortcut " + std::to_string(c.failing) + (c.programTaken ? ", program taken" : ""));
        program = (destination = FreshFolder("sequence")) + "\\ak.exe";
        g_taken = c.programTaken ? program : "";
        // A window holding the two controls the sequence reads: the group option and the destination.
        HWND dialog = CreateWindowA("Static", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
        CreateWindowA("Button", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 1, 1, dialog, (HMENU)IDC_CREATE_GROUP, NULL, NULL);
        CheckDlgButton(dialog, IDC_CREATE_GROUP, c.group);
        CreateWindowA("Edit", destination.c_str(), WS_CHILD, 0, 0, 1, 1, dialog, (HMENU)IDC_DESTINATION, NULL, NULL);
        g_shortcuts.clear();
        g_failing = c.failing;
        InstallAttempt attempt;
        EXPECT_EQ(RunInstall(dialog, &attempt), (c.failing == 0 && !c.programTaken) || !c.group);
        DestroyWindow(dialog);
        EXPECT_EQ(FolderEntries(destination), c.written);
        EXPECT_EQ(ReadFileBytes(program) == "another program's", c.programTaken);
        EXPECT_EQ(g_shortcuts.size(), c.shortcuts);
        EXPECT_EQ(GroupFolder, nullptr) << "the group folder outlived the install";
    }
    EXPECT_EQ(g_shortcuts[4], program + "|C:\\Group|\\AmbitKnob|ak.exe");
}
