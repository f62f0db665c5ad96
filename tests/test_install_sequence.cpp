// The install sequence's stop rules around the program group's shortcuts, run in-process against a
// stand-in group whose shortcuts fail on demand.
#include "../resources/resource.h"
#include "../setup/setup.h"
#include "driver.h"
#include "fake_group.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace driver;

namespace {

// A window holding the two controls the sequence reads: the group option and the destination.
class FakeDialog {
public:
    FakeDialog(const std::string& destination, bool withGroup)
    {
        window_ = CreateWindowA("Static", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        HWND option = CreateWindowA("Button", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 1, 1, window_,
                                    (HMENU)IDC_CREATE_GROUP, NULL, NULL);
        SendMessageA(option, BM_SETCHECK, withGroup ? BST_CHECKED : BST_UNCHECKED, 0);
        CreateWindowA("Edit", destination.c_str(), WS_CHILD, 0, 0, 1, 1, window_, (HMENU)IDC_DESTINATION, NULL, NULL);
    }
    ~FakeDialog() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_;
};

std::vector<std::string> Written(const std::string& folder)
{
    std::vector<std::string> names = FolderEntries(folder);
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> AllFiles = {"ak.exe", "cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"};

}  // namespace

class Sequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        ShortcutCalls.clear();
        FailingShortcut = -1;
    }
    bool Run(const std::string& destination, bool withGroup = true)
    {
        FakeDialog dialog(destination, withGroup);
        return RunInstall(dialog.Handle());
    }
};

TEST_F(Sequence, MakesTheFiveShortcutsInOrderWithTheirTargets)
{
    std::string destination = FreshFolder("sequence-all");
    ASSERT_TRUE(Run(destination));
    EXPECT_EQ(Written(destination), AllFiles);
    ASSERT_EQ(ShortcutCalls.size(), 5u);
    const char* const names[] = {"uninstal.exe", "license.txt", "cindertop.url", "readme.txt", "ak.exe"};
    const char* const descriptions[] = {"Uninstall", "License", "Cindertop Software", "Read Me", "\\AmbitKnob"};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(ShortcutCalls[i].target, destination + "\\" + names[i]);
        EXPECT_EQ(ShortcutCalls[i].folder, "C:\\Group");
        EXPECT_EQ(ShortcutCalls[i].description, descriptions[i]);
        EXPECT_EQ(ShortcutCalls[i].linkName, names[i]);
    }
    EXPECT_EQ(GroupFolder, nullptr) << "the group folder outlived the install";
    EXPECT_EQ(std::string(ReadmePath), destination + "\\readme.txt");
    EXPECT_EQ(std::string(ProgramPath), destination + "\\ak.exe");
}

// A failed shortcut after the uninstaller, the licence or the web shortcut stops the sequence after
// the next file; one after the readme or the program only makes the result false.
TEST_F(Sequence, FailedShortcutStopsAfterTheNextFileUpToTheWebShortcut)
{
    struct Case {
        int failing;
        std::vector<std::string> written;
        size_t shortcuts;
    } cases[] = {
        {1, {"file_id.diz", "uninstal.exe"}, 1},
        {2, {"cindertop.url", "file_id.diz", "license.txt", "uninstal.exe"}, 2},
        {3, {"cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"}, 3},
        {4, AllFiles, 5},
        {5, AllFiles, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("failing shortcut " + std::to_string(c.failing));
        SetUp();
        FailingShortcut = c.failing;
        std::string destination = FreshFolder("sequence-" + std::to_string(c.failing));
        EXPECT_FALSE(Run(destination));
        EXPECT_EQ(Written(destination), c.written);
        EXPECT_EQ(ShortcutCalls.size(), c.shortcuts);
    }
}

TEST_F(Sequence, FailedProgramWriteStillRecordsItAndMakesItsShortcut)
{
    std::string destination = FreshFolder("sequence-program");
    std::string program = destination + "\\ak.exe";
    WriteFileBytes(program, "in use");
    HANDLE held = CreateFileA(program.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Run(destination));
    CloseHandle(held);
    ASSERT_EQ(ShortcutCalls.size(), 5u);
    EXPECT_EQ(ShortcutCalls[4].target, program);
    EXPECT_EQ(std::string(ProgramPath), program);
    EXPECT_EQ(ReadFileBytes(program), "in use");
}

TEST_F(Sequence, WithoutTheGroupNoShortcutIsAskedFor)
{
    std::string destination = FreshFolder("sequence-nogroup");
    FailingShortcut = 1;
    EXPECT_TRUE(Run(destination, false));
    EXPECT_EQ(Written(destination), AllFiles);
    EXPECT_TRUE(ShortcutCalls.empty());
}
