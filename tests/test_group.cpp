// The program group end to end: the "Ambit Knob" folder in the Programs folder, its five shortcuts
// as the shell reads them back, and the refusals when the Programs folder is unknown or unusable.
#include "setup_session.h"

#include <shlobj.h>

#include <algorithm>
#include <map>

using namespace driver;

namespace {

struct Link {
    std::string target;
    std::string description;
};

// Reads a shortcut back through the shell, as Explorer would.
std::optional<Link> LoadLink(const std::string& path)
{
    CoInitialize(NULL);
    std::optional<Link> result;
    IShellLinkA* link = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))) {
        IPersistFile* file = NULL;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
            WCHAR widePath[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
            if (SUCCEEDED(file->Load(widePath, STGM_READ))) {
                char target[MAX_PATH] = "", description[MAX_PATH] = "";
                link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH);
                link->GetDescription(description, MAX_PATH);
                result = Link{target, description};
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

const std::map<std::string, std::string> Descriptions = {
    {"uninstal.exe", "Uninstall"}, {"license.txt", "License"}, {"cindertop.url", "Cindertop Software"},
    {"readme.txt", "Read Me"},     {"ak.exe", "\\AmbitKnob"},
};

}  // namespace

class Group : public SetupTest {
protected:
    // A Programs folder of this test's own, recorded where the installer looks for it.
    std::string UsePrograms(const std::string& name)
    {
        std::string programs = FreshFolder(name) + "\\Start Menu\\Programs";
        MakeFolders(programs);
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
        return programs;
    }

    void ExpectShortcuts(const std::string& group, const std::string& destination)
    {
        for (const auto& [name, description] : Descriptions) {
            SCOPED_TRACE(name);
            std::optional<Link> link = LoadLink(group + "\\" + name + ".lnk");
            ASSERT_TRUE(link.has_value()) << "no readable shortcut";
            EXPECT_EQ(lstrcmpiA(link->target.c_str(), (destination + "\\" + name).c_str()), 0) << link->target;
            EXPECT_EQ(link->description, description);
        }
    }

    // Presses "Go!" with the group option on and expects the failure box, with nothing made.
    void ExpectRefused(const std::string& workingDir)
    {
        std::string destination = FreshFolder("group-refused") + "\\AmbitKnob";
        SetupSession setup(workingDir);
        setup.SetOptions(false, true, false);
        setup.SetDestination(destination);
        HWND box = setup.Go();
        ASSERT_NE(box, (HWND)NULL);
        EXPECT_EQ(MessageBoxText(box), FailureText);
        setup.Dismiss(box);
        EXPECT_FALSE(FolderExists(destination)) << "the destination was created";
        EXPECT_EQ(FolderEntries(workingDir), std::vector<std::string>{}) << "something was made in the working folder";
        EXPECT_FALSE(FolderExists("C:\\Ambit Knob"));
        EXPECT_FALSE(setup.ExitCode(200).has_value()) << "the dialog should stay open";
    }
};

TEST_F(Group, FiveShortcutsBesideWhatTheFolderHeld)
{
    std::string programs = UsePrograms("group");
    std::string group = programs + "\\Ambit Knob";
    MakeFolders(group);
    WriteFileBytes(group + "\\notes.txt", "the user's own");
    std::string destination = FreshFolder("group-dest") + "\\Ambit Knob Files";

    ASSERT_TRUE(InstallInto(destination, true));
    ExpectInstalled(destination);
    EXPECT_EQ(Sorted(FolderEntries(group)), (std::vector<std::string>{"ak.exe.lnk", "cindertop.url.lnk", "license.txt.lnk",
                                                                    "notes.txt", "readme.txt.lnk", "uninstal.exe.lnk"}));
    EXPECT_EQ(ReadFileBytes(group + "\\notes.txt"), "the user's own");
    ExpectShortcuts(group, destination);
}

TEST_F(Group, SecondInstallReplacesTheShortcuts)
{
    std::string programs = UsePrograms("group-twice");
    std::string group = programs + "\\Ambit Knob";
    std::string first = FreshFolder("group-first") + "\\AmbitKnob";
    std::string second = FreshFolder("group-second") + "\\AmbitKnob";
    ASSERT_TRUE(InstallInto(first, true));
    WriteFileBytes(group + "\\readme.txt.lnk", "no longer a shortcut");
    ASSERT_TRUE(InstallInto(second, true));
    EXPECT_EQ(FolderEntries(group).size(), 5u);
    ExpectShortcuts(group, second);
}

TEST_F(Group, OptionOffNeedsNoProgramsFolderAndMakesNone)
{
    std::string programs = UsePrograms("group-off");
    {
        std::string destination = FreshFolder("group-off-dest") + "\\AmbitKnob";
        ASSERT_TRUE(InstallInto(destination, false));
        ExpectInstalled(destination);
        EXPECT_EQ(FolderEntries(programs), std::vector<std::string>{});
    }
    DeleteValue(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
    std::string destination = FreshFolder("group-off-missing") + "\\AmbitKnob";
    ASSERT_TRUE(InstallInto(destination, false));
    ExpectInstalled(destination);
}

// Without a usable Programs folder the install fails before anything is made: a missing value, an
// empty one, a relative one (which would land in setup's working folder), one too long to take
// the group's name, or one where the group folder cannot be made: the Programs folder is missing
// or a file, or "Ambit Knob" in it is a file.
TEST_F(Group, UnusableProgramsFolderFailsBeforeAnythingIsMade)
{
    std::string workingDir = FreshFolder("group-working");
    DeleteValue(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
    {
        SCOPED_TRACE("missing");
        ExpectRefused(workingDir);
    }
    std::string longPrograms = "D:\\" + std::string(240, 'p') + "\\Programs";  // 252 + "\Ambit Knob" > 259
    std::string files = FreshFolder("group-files");
    WriteFileBytes(files + "\\Programs", "a file");
    WriteFileBytes(files + "\\Ambit Knob", "a file");
    for (std::string value : {std::string(""), std::string("Start Menu\\Programs"), std::string("C:Programs"), longPrograms,
                              files + "\\Missing\\Programs", files + "\\Programs", files}) {
        SCOPED_TRACE("Programs = \"" + value + "\"");
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", value);
        ExpectRefused(workingDir);
    }
}

// A shortcut the shell cannot save (a folder holds its name) fails the install like a file that
// cannot be written: after the web shortcut's, the readme is the last file written.
TEST_F(Group, ShortcutThatCannotBeSavedFailsTheInstall)
{
    std::string group = UsePrograms("group-blocked") + "\\Ambit Knob";
    MakeFolders(group + "\\cindertop.url.lnk");
    std::string destination = FreshFolder("group-blocked-dest");
    EXPECT_FALSE(InstallInto(destination, true));
    EXPECT_EQ(Sorted(FolderEntries(destination)),
              (std::vector<std::string>{"cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"}));
    EXPECT_EQ(Sorted(FolderEntries(group)), (std::vector<std::string>{"cindertop.url.lnk", "license.txt.lnk", "uninstal.exe.lnk"}));
}
