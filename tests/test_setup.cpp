// The installer end to end: its dialog as a user sees and works it, the files it writes, the
// registry it leaves, and its exit codes.
#include "setup_session.h"

#include <algorithm>

using namespace driver;

namespace {

using Items = std::vector<std::string>;

std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

// A path of exactly `length` characters under `root`, made of folder names short enough for any
// file system.
std::string DeepPath(const std::string& root, size_t length)
{
    std::string path = root;
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        path += "\\" + Repeat('d', std::min<size_t>(room, 60));
        if (path.size() > length)
            path.resize(length);
    }
    if (path.back() == '\\')
        path.back() = 'e';
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// What the dialog offers when it opens.

class InitialState : public SetupTest {};

TEST_F(InitialState, NoProgramFilesFolderAndNothingRemembered)
{
    DeleteValue(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir");
    SetupSession setup;
    ASSERT_NE(setup.Dialog(), (HWND)NULL);
    EXPECT_EQ(ComboItems(setup.Dialog(), IDC_DESTINATION), Items{"C:\\AmbitKnob"});
    EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), "");
    for (int option : {IDC_VIEW_README, IDC_CREATE_GROUP, IDC_RUN_APP})
        EXPECT_TRUE(IsChecked(setup.Dialog(), option)) << option;
    // The focus starts in the destination field (the combo box's edit), ready for typing.
    HWND destination = GetDlgItem(setup.Dialog(), IDC_DESTINATION);
    HWND focus = FocusedControl(setup.Dialog());
    EXPECT_TRUE(focus == destination || GetParent(focus) == destination);
}

TEST_F(InitialState, ProgramFilesFolderGetsTheSuffixOnce)
{
    WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", "C:\\Program Files\\");
    {
        SetupSession setup;
        EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), "C:\\Program Files\\AmbitKnob");
        // The list is sorted, not in the order of adding.
        EXPECT_EQ(ComboItems(setup.Dialog(), IDC_DESTINATION), (Items{"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}));
    }
    // A plain append, even where the folder already ends in the product's name.
    WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", "D:\\AmbitKnob");
    {
        SetupSession setup;
        EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), "D:\\AmbitKnob\\AmbitKnob");
    }
    // A folder too long to take the suffix offers nothing rather than a cut-off path.
    WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", DeepPath("C:", 250));
    {
        SetupSession setup;
        EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), "");
        EXPECT_EQ(ComboItems(setup.Dialog(), IDC_DESTINATION), Items{"C:\\AmbitKnob"});
    }
}

TEST_F(InitialState, RememberedDirectoryIsShownAndListedOnce)
{
    WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", "C:\\Program Files");
    struct Case {
        const char* remembered;
        Items list;
    } cases[] = {
        {"c:\\ambitknob", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
        {"C:\\Amb", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},  // the start of an entry
        {"D:\\Tools\\AmbitKnob", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob", "D:\\Tools\\AmbitKnob"}},
        {"", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remembered);
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", c.remembered);
        SetupSession setup;
        EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), c.remembered);
        EXPECT_EQ(ComboItems(setup.Dialog(), IDC_DESTINATION), c.list);
    }
}

// ---------------------------------------------------------------------------------------------
// Installing.

class Install : public SetupTest {};

TEST_F(Install, CreatesEveryLevelAndWritesTheCarriedFiles)
{
    std::string root = FreshFolder("deep");
    std::string destination = root + "\\A\\B\\C";
    SetupSession setup;
    setup.SetOptions(false, false, false);
    setup.SetDestination(destination);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    EXPECT_TRUE(MessageBoxHasIcon(box, IDI_ASTERISK));
    // The install is done before the box shows; "InstallDir" is stored only after it is dismissed.
    ExpectInstalled(destination);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir").has_value());
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir"), destination);
}

TEST_F(Install, TrailingSeparatorIsKeptInTheRegistryAndNotDoubled)
{
    std::string destination = FreshFolder("trailing") + "\\Ambit Knob 2\\";
    ASSERT_TRUE(InstallInto(destination));
    ExpectInstalled(destination.substr(0, destination.size() - 1));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir"), destination);
}

TEST_F(Install, SecondInstallReplacesEveryFile)
{
    std::string destination = FreshFolder("twice") + "\\AmbitKnob";
    ASSERT_TRUE(InstallInto(destination));
    WriteFileBytes(destination + "\\readme.txt", "changed by the user, and longer than it was before it was changed " + Repeat('x', 4000));
    WriteFileBytes(destination + "\\ak.exe", "x");
    ASSERT_TRUE(InstallInto(destination));
    ExpectInstalled(destination);
}

// No lasting key can be made under a volatile one: with HKCU\Software\Cindertop volatile for the
// test, the install record cannot be stored. What the key held is kept aside and put back.
class VolatileVendorKey {
public:
    VolatileVendorKey()
    {
        RegCreateKeyA(HKEY_CURRENT_USER, Kept, &kept_);
        RegCopyTreeA(HKEY_CURRENT_USER, Vendor, kept_);
        RegDeleteTreeA(HKEY_CURRENT_USER, Vendor);
        HKEY key;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Vendor, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    ~VolatileVendorKey()
    {
        HKEY key;
        RegDeleteTreeA(HKEY_CURRENT_USER, Vendor);
        RegCreateKeyA(HKEY_CURRENT_USER, Vendor, &key);
        RegCopyTreeA(kept_, NULL, key);
        RegCloseKey(key);
        RegCloseKey(kept_);
        RegDeleteTreeA(HKEY_CURRENT_USER, Kept);
    }

private:
    static constexpr const char* Vendor = "Software\\Cindertop";
    static constexpr const char* Kept = "Software\\Cindertop (kept by a test)";
    HKEY kept_ = NULL;
};

// The files are in place, so the install succeeded and setup ends with 1; but the user is told
// that the uninstaller may not find it.
TEST_F(Install, RecordThatCannotBeStoredIsSaidAfterTheSuccessBox)
{
    std::string destination = FreshFolder("unrecorded") + "\\AmbitKnob";
    VolatileVendorKey vendor;
    SetupSession setup;
    setup.SetOptions(false, false, false);
    setup.SetDestination(destination);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    setup.Dismiss(box);
    box = WaitForDialog(setup.Program().Id(), OutcomeCaption);
    ASSERT_NE(box, (HWND)NULL) << "no warning";
    EXPECT_NE(MessageBoxText(box).find("uninstaller may not find"), std::string::npos) << MessageBoxText(box);
    EXPECT_TRUE(MessageBoxHasIcon(box, IDI_EXCLAMATION));
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);
    ExpectInstalled(destination);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir").has_value());
}

// A licence file that cannot be replaced (held open by another program; the test prefix runs as
// root, which Wine lets write read-only files) stops the sequence right after it.
TEST_F(Install, LicenceThatCannotBeReplacedStopsTheInstallUntilItIsFreed)
{
    std::string destination = FreshFolder("locked");
    std::string licence = destination + "\\license.txt";
    WriteFileBytes(licence, "an older licence");
    SetFileAttributesA(licence.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = CreateFileA(licence.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    SetupSession setup;
    setup.SetOptions(false, false, false);
    setup.SetDestination(destination);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), FailureText);
    EXPECT_TRUE(MessageBoxHasIcon(box, IDI_EXCLAMATION));
    setup.Dismiss(box);

    EXPECT_TRUE(FileExists(destination + "\\uninstal.exe"));
    EXPECT_TRUE(FileExists(destination + "\\file_id.diz"));
    for (const char* later : {"cindertop.url", "readme.txt", "ak.exe"})
        EXPECT_FALSE(FileExists(destination + "\\" + later)) << later;
    // The dialog stays, with what the user chose.
    EXPECT_FALSE(setup.ExitCode(300).has_value());
    EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), destination);
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir").has_value());

    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(licence), "an older licence");
    SetFileAttributesA(licence.c_str(), FILE_ATTRIBUTE_NORMAL);
    box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);
    ExpectInstalled(destination);
}

// Destinations that are no place to install: the failure box, the dialog stays, and nothing is
// created anywhere, in particular not in setup's working folder.
TEST_F(Install, RefusesDestinationsThatAreNotFullPaths)
{
    std::string workingDir = FreshFolder("working");
    std::string overlong = DeepPath("D:\\overlong", 300);
    for (std::string destination : {std::string(""), std::string("AmbitKnob"), std::string("C:AmbitKnob"),
                                    std::string("\\AmbitKnob"), overlong, std::string("\\\\?\\C:\\AmbitKnob"),
                                    std::string("\\\\.\\C:\\AmbitKnob")}) {
        SCOPED_TRACE("destination \"" + destination + "\"");
        SetupSession setup(workingDir);
        setup.SetOptions(false, false, false);
        setup.SetDestination(destination);
        HWND box = setup.Go();
        ASSERT_NE(box, (HWND)NULL);
        EXPECT_EQ(MessageBoxText(box), FailureText);
        setup.Dismiss(box);
        EXPECT_FALSE(setup.ExitCode(200).has_value()) << "the dialog should stay open";
        EXPECT_EQ(FolderEntries(workingDir), Items{});
        EXPECT_FALSE(FolderExists("C:\\AmbitKnob"));
        EXPECT_FALSE(FolderExists("D:\\overlong"));
    }
}

// The longest file name carried is "cindertop.url" (13 characters): a destination of 245
// characters takes every file at 259 characters; one more and that file cannot be named.
TEST_F(Install, PathsAtTheLengthBound)
{
    std::string fits = DeepPath(FreshFolder("bound245"), 245);
    ASSERT_EQ(fits.size(), 245u);
    ASSERT_TRUE(InstallInto(fits));
    ExpectInstalled(fits);

    std::string tooLong = DeepPath(FreshFolder("bound246"), 246);
    SetupSession setup;
    setup.SetOptions(false, false, false);
    setup.SetDestination(tooLong);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), FailureText);
    setup.Dismiss(box);
    // The files before it fit and were written whole; nothing was written under a cut-off name.
    for (const char* written : {"uninstal.exe", "file_id.diz", "license.txt"})
        EXPECT_TRUE(ReadFileBytes(tooLong + "\\" + written) == CarriedFile(written)) << written;
    Items entries = FolderEntries(tooLong);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (Items{"file_id.diz", "license.txt", "uninstal.exe"}));
}

// ---------------------------------------------------------------------------------------------
// Ending the dialog.

class Ending : public SetupTest {};

TEST_F(Ending, CancelCloseAndEscapeEndWithZeroAndInstallNothing)
{
    std::string destination = FreshFolder("ending") + "\\AmbitKnob";
    for (int way = 0; way < 3; way++) {
        SCOPED_TRACE(way);
        SetupSession setup;
        setup.SetDestination(destination);
        if (way == 0)
            Click(setup.Dialog(), IDCANCEL);
        else if (way == 1)
            CloseFromTitleBar(setup.Dialog());
        else
            PressKey(setup.Dialog(), VK_ESCAPE);
        EXPECT_EQ(setup.ExitCode(), 0u);
    }
    EXPECT_FALSE(FolderExists(destination));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir").has_value());
}

TEST_F(Ending, EnterInTheDestinationFieldActsAsGo)
{
    std::string destination = FreshFolder("enter") + "\\AmbitKnob";
    SetupSession setup;
    setup.SetOptions(false, false, false);
    setup.SetDestination(destination);
    SetFocus(NULL);
    PressKey(setup.Dialog(), VK_RETURN);
    HWND box = WaitForDialog(setup.Program().Id(), OutcomeCaption);
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);
    ExpectInstalled(destination);
}

// ---------------------------------------------------------------------------------------------
// Opening the readme and starting the program after a successful install.

namespace {
FILETIME CreationTime(HWND window)
{
    FILETIME created = {}, exited, kernel, user;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, WindowProcessId(window));
    if (process != NULL) {
        GetProcessTimes(process, &created, &exited, &kernel, &user);
        CloseHandle(process);
    }
    return created;
}

void CloseAndWait(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !IsWindow(window); });
}
}  // namespace

// "Go!" arrives twice back to back, as queued clicks or a posted command can: one install, one box,
// one launch of each.
TEST_F(Install, OpensReadmeThenProgramAfterTheSuccessBox)
{
    std::string destination = FreshFolder("launch") + "\\AmbitKnob";
    SetupSession setup;
    setup.SetOptions(true, false, true);
    setup.SetDestination(destination);
    Click(setup.Dialog(), IDOK);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    Sleep(500);
    EXPECT_EQ(TopWindows(setup.Program().Id(), NULL, OutcomeCaption).size(), 1u);
    EXPECT_EQ(FindTopWindow(0, "SimpleClass", NULL), (HWND)NULL) << "started before the box was dismissed";
    EXPECT_EQ(FindTopWindow(0, "Notepad", NULL), (HWND)NULL) << "opened before the box was dismissed";
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);

    HWND readme = WaitForTopWindow(0, "Notepad", NULL);
    HWND product = WaitForTopWindow(0, "SimpleClass", NULL);
    ASSERT_NE(readme, (HWND)NULL) << "the readme was not opened; windows:\n" << DescribeTopWindows();
    ASSERT_NE(product, (HWND)NULL) << "the program was not started";
    char title[256] = "";
    EXPECT_TRUE(WaitUntil([&] {
        GetWindowTextA(readme, title, sizeof title);
        return std::string(title).find("readme") != std::string::npos;
    })) << title;
    FILETIME readmeStart = CreationTime(readme), productStart = CreationTime(product);
    EXPECT_LE(CompareFileTime(&readmeStart, &productStart), 0) << "the program started before the readme";
    Sleep(500);
    EXPECT_EQ(TopWindows(0, "Notepad", NULL).size(), 1u);
    EXPECT_EQ(TopWindows(0, "SimpleClass", NULL).size(), 1u);
    CloseAndWait(readme);
    CloseAndWait(product);
}

TEST_F(Install, LaunchesOnlyWhatIsChecked)
{
    std::string destination = FreshFolder("launch-one") + "\\AmbitKnob";
    SetupSession setup;
    setup.SetOptions(false, false, true);
    setup.SetDestination(destination);
    HWND box = setup.Go();
    ASSERT_NE(box, (HWND)NULL);
    setup.Dismiss(box);
    EXPECT_EQ(setup.ExitCode(), 1u);
    HWND product = WaitForTopWindow(0, "SimpleClass", NULL);
    ASSERT_NE(product, (HWND)NULL);
    Sleep(500);
    EXPECT_EQ(FindTopWindow(0, "Notepad", NULL), (HWND)NULL);
    CloseAndWait(product);
}

// ---------------------------------------------------------------------------------------------
// "Browse...": the system's folder picker, worked through its tree of folders.

class Browse : public SetupTest {
protected:
    // Opens the picker from the dialog and returns it.
    HWND OpenPicker(SetupSession& setup)
    {
        Click(setup.Dialog(), IDC_BROWSE);
        HWND picker = NULL;
        WaitUntil([&] {
            for (HWND window : TopWindows(setup.Program().Id(), "#32770", NULL))
                if (window != setup.Dialog())
                    picker = window;
            return picker != NULL;
        });
        return picker;
    }

    // Picks the folder at the tree path and returns what the destination field then shows.
    std::string Pick(const std::vector<std::string>& treePath)
    {
        SetupSession setup;
        setup.SetDestination("C:\\Before");
        HWND picker = OpenPicker(setup);
        EXPECT_NE(picker, (HWND)NULL) << "no folder picker";
        if (picker == NULL)
            return "";
        HWND tree = FindWindowExA(picker, NULL, "SysTreeView32", NULL);
        std::string seen;
        EXPECT_TRUE(SelectTreeItem(tree, treePath, &seen)) << "items seen: " << seen;
        Click(picker, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(picker); }));
        return GetText(setup.Dialog(), IDC_DESTINATION);
    }
};

TEST_F(Browse, CancelLeavesTheFieldAsItWas)
{
    SetupSession setup;
    setup.SetDestination("C:\\Typed\\By Hand");
    HWND picker = OpenPicker(setup);
    ASSERT_NE(picker, (HWND)NULL);
    EXPECT_NE(FindWindowExA(picker, NULL, "Static", "Please specify directory"), (HWND)NULL);
    Click(picker, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(picker); }));
    EXPECT_EQ(GetText(setup.Dialog(), IDC_DESTINATION), "C:\\Typed\\By Hand");
}

TEST_F(Browse, ChosenFolderGetsTheProductSuffixUnlessItHasIt)
{
    MakeFolders("D:\\Tools\\ambitknob");
    EXPECT_EQ(Pick({"Desktop", "My Computer", "D:"}), "D:\\AmbitKnob");
    EXPECT_EQ(Pick({"Desktop", "My Computer", "D:", "Tools"}), "D:\\Tools\\AmbitKnob");
    EXPECT_EQ(Pick({"Desktop", "My Computer", "D:", "Tools", "ambitknob"}), "D:\\Tools\\ambitknob");

    // 250 characters leave no room for the suffix: the field keeps what it had rather than a
    // folder the product was not meant to be put in.
    std::string deep = std::string(240, 'f');
    MakeFolders("D:\\" + deep + "\\abcdef");
    EXPECT_EQ(Pick({"Desktop", "My Computer", "D:", deep, "abcdef"}), "C:\\Before");
}
