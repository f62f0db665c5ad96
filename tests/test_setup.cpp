// The installer end to end: its dialog as a user works it, everything one install leaves (files,
// program group, record, launches, exit code), and what it refuses.
#include "driver.h"

#include <shlobj.h>

namespace {

HWND Focus(HWND dialog)
{
    GUITHREADINFO thread = {sizeof thread};
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &thread);
    return thread.hwndFocus;
}

// Enter or Escape, typed where the dialog's focus is.
void PressKey(HWND dialog, WPARAM key)
{
    PostMessageA(Focus(dialog), WM_KEYDOWN, key, 1);
    PostMessageA(Focus(dialog), WM_CHAR, key == VK_RETURN ? '\r' : 0x1B, 1);
    PostMessageA(Focus(dialog), WM_KEYUP, key, 0xC0000001);
}

// The group's shortcuts as the shell reads them back: target and description.
void ExpectShortcuts(const std::string& group, const std::string& destination)
{
    const char* const descriptions[] = {"Uninstall", "", "License", "Cindertop Software", "Read Me", "\\AmbitKnob"};
    IShellLinkA* link = NULL;
    IPersistFile* file = NULL;
    CoInitialize(NULL);
    CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    for (int i : {0, 2, 3, 4, 5}) {
        std::string path = group + "\\" + CarriedNames[i] + ".lnk";
        char target[MAX_PATH] = "", description[MAX_PATH] = "";
        file->Load(std::wstring(path.begin(), path.end()).c_str(), STGM_READ);
        link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH);
        link->GetDescription(description, MAX_PATH);
        EXPECT_EQ(target + std::string("|") + description, destination + "\\" + CarriedNames[i] + "|" + descriptions[i]);
    }
    file->Release();
    link->Release();
}

}  // namespace

// Each test with a Programs folder of its own, and the program group in it.
class SetupTest : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", ownPrograms_);
        SHCreateDirectoryExA(NULL, group_.c_str(), NULL);
    }
    std::string ownPrograms_ = FreshFolder("programs") + "\\Programs", group_ = ownPrograms_ + "\\Ambit Knob";
};

// The candidates: the program-files folder with the suffix (when it takes one), C:\AmbitKnob, and
// the remembered directory shown, listed once. "Browse..." opens the system's folder picker (told
// here which folder to select): the suffix is appended unless the folder ends in it; a folder too
// deep for it, or Cancel, leaves the field as it was. Cancel, the close box and Escape end with 0.
TEST_F(SetupTest, DialogOffersTheCandidatesAndBrowsesAndEndsWithZeroWithoutGo)
{
    std::string deep = "D:\\" + std::string(240, 'f') + "\\abcdef";
    SHCreateDirectoryExA(NULL, deep.c_str(), NULL);
    SHCreateDirectoryExA(NULL, "D:\\Tools\\ambitknob", NULL);
    struct Case {
        std::string programFiles, remembered, shown;
        Names list;
        std::string browsed, shownThen;  // nothing browsed, or Cancel, leaves what was shown
    } cases[] = {
        {"", "-", "", {"C:\\AmbitKnob"}, "D:\\", "D:\\AmbitKnob"},
        {"C:\\Program Files\\", "-", "C:\\Program Files\\AmbitKnob", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"},
         "D:\\Tools", "D:\\Tools\\AmbitKnob"},
        {"D:\\AmbitKnob", "-", "D:\\AmbitKnob\\AmbitKnob", {"C:\\AmbitKnob", "D:\\AmbitKnob\\AmbitKnob"}, "D:\\Tools\\ambitknob",
         "D:\\Tools\\ambitknob"},
        {PathOfLength(250), "-", "", {"C:\\AmbitKnob"}, deep},
        {"C:\\Program Files", "c:\\ambitknob", "c:\\ambitknob", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}, ""},
        {"C:\\Program Files", "C:\\Amb", "C:\\Amb", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
        {"C:\\Program Files", "", "", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
        {"C:\\Program Files", "D:\\Tools\\AmbitKnob", "D:\\Tools\\AmbitKnob",
         {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob", "D:\\Tools\\AmbitKnob"}},
    };
    // As the system gives it to a program of the package's architecture: the 32-bit package, under
    // WOW64, is shown the 32-bit program-files folder.
    Installer system;
    EXPECT_EQ(WindowText(GetDlgItem(system.dialog, IDC_DESTINATION)),
              sizeof(void*) == 8 ? "C:\\Program Files\\AmbitKnob" : "C:\\Program Files (x86)\\AmbitKnob");
    Click(system.dialog, IDCANCEL);
    for (int i = 0; i < 8; i++) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.programFiles + " | " + c.remembered);
        WriteString(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir", c.programFiles);
        if (c.programFiles.empty())
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, CurrentVersionKey, "ProgramFilesDir");
        if (c.remembered != "-")
            WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", c.remembered);
        Installer setup;
        EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, IDC_DESTINATION)), c.shown);
        Names list;
        for (WCHAR item[MAX_PATH]; SendDlgItemMessageW(setup.dialog, IDC_DESTINATION, CB_GETLBTEXT, list.size(), (LPARAM)item) >= 0;)
            list.push_back(std::string(item, item + wcslen(item)));
        EXPECT_EQ(list, c.list);
        for (int option : {IDC_VIEW_README, IDC_CREATE_GROUP, IDC_RUN_APP})
            EXPECT_EQ(IsDlgButtonChecked(setup.dialog, option), BST_CHECKED) << option;
        // The focus starts in the destination field; the manifest brings the version 6 combo box.
        EXPECT_EQ(GetParent(Focus(setup.dialog)), GetDlgItem(setup.dialog, IDC_DESTINATION));
        EXPECT_GT(SendDlgItemMessageA(setup.dialog, IDC_DESTINATION, CB_GETMINVISIBLE, 0, 0), 0);
        if (i < 5) {
            Click(setup.dialog, IDC_BROWSE);
            HWND picker = NULL;
            ASSERT_TRUE(WaitUntil([&] {
                for (HWND window : TopWindows(setup.process.Id(), "#32770", NULL))
                    picker = window != setup.dialog ? window : picker;
                return picker != NULL;
            }));
            EXPECT_NE(FindWindowExA(picker, NULL, "Static", "Please specify directory"), (HWND)NULL);
            // The path goes into the picker's own memory, where it reads it.
            HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, setup.process.Id());
            void* remote = VirtualAllocEx(process, NULL, MAX_PATH, MEM_COMMIT, PAGE_READWRITE);
            WriteProcessMemory(process, remote, c.browsed.c_str(), c.browsed.size() + 1, NULL);
            SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, (LPARAM)remote);
            Click(picker, c.browsed.empty() ? IDCANCEL : IDOK);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(picker); }));
            CloseHandle(process);
            EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, IDC_DESTINATION)), c.shownThen.empty() ? c.shown : c.shownThen);
        }
        if (i % 3 == 0)
            Click(setup.dialog, IDCANCEL);
        else if (i % 3 == 1)
            PostMessageA(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            PressKey(setup.dialog, VK_ESCAPE);
        EXPECT_EQ(setup.process.Wait(), 0u);
        EXPECT_FALSE(Recorded("OwnedDir")) << "installed";
    }
}

// "Go!" twice back to back (queued clicks) for a destination of missing levels: one install, one
// success box, the record after it, then one readme and one program. Enter in the
// destination field is "Go!": a second install, the record gone, finds its own files in the folder
// and writes every file again; when its record cannot be stored (no lasting key under a volatile
// one) a warning follows the success box, setup still ends with 1, and then only what is checked
// opens.
TEST_F(SetupTest, InstallAndReinstallLeaveFilesGroupRecordAndLaunches)
{
    WriteFileBytes(group_ + "\\notes.txt", "the user's own");
    std::string destination = FreshFolder("install") + "\\A\\B\\C";
    Installer setup;
    setup.Options(true, true, true);
    SetDlgItemTextA(setup.dialog, IDC_DESTINATION, destination.c_str());
    Click(setup.dialog, IDOK);
    HWND box = setup.Go(destination);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    EXPECT_FALSE(WaitUntil([&] { return TopWindows(setup.process.Id(), "#32770", "Information").size() > 1 ||
                                        WaitForWindow(0, "Notepad", NULL, 0) || WaitForWindow(0, "SimpleClass", NULL, 0); }, 1000))
        << "a second box, or a launch before the box was dismissed";
    ExpectInstalled(destination);
    EXPECT_FALSE(Recorded("InstallDir"));
    setup.Dismiss(box);
    EXPECT_EQ(setup.process.Wait(), 1u);
    EXPECT_EQ(Recorded("InstallDir"), destination);
    EXPECT_EQ(Recorded("OwnedDir"), destination);
    EXPECT_EQ(FolderEntries(group_), (Names{"ak.exe.lnk", "cindertop.url.lnk", "license.txt.lnk", "notes.txt",
                                            "readme.txt.lnk", "uninstal.exe.lnk"}));
    EXPECT_EQ(ReadFileBytes(group_ + "\\notes.txt"), "the user's own");
    ExpectShortcuts(group_, destination);
    HWND readme = WaitForWindow(0, "Notepad", NULL), product = WaitForWindow(0, "SimpleClass", NULL);
    ASSERT_TRUE(readme && product) << "readme " << readme << ", program " << product;
    EXPECT_TRUE(WaitUntil([&] { return WindowText(readme).find("readme") != std::string::npos; })) << WindowText(readme);
    EXPECT_FALSE(WaitUntil([] { return TopWindows(0, "Notepad", NULL).size() + TopWindows(0, "SimpleClass", NULL).size() > 2; }, 1000));
    for (HWND window : {readme, product})
        Process(window).Kill();

    DeleteFileA((destination + "\\readme.txt").c_str());
    DeleteFileA((destination + "\\ak.exe").c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cindertop");
    HKEY vendor;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Cindertop", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &vendor, NULL);
    RegCloseKey(vendor);
    Installer again;
    again.Options(false, true, true);
    SetDlgItemTextA(again.dialog, IDC_DESTINATION, destination.c_str());
    PressKey(again.dialog, VK_RETURN);
    EXPECT_EQ(MessageBoxText(box = WaitForBox(again.process.Id(), "Information")), SuccessText);
    again.Dismiss(box);
    box = WaitForBox(again.process.Id(), "Information");
    EXPECT_NE(MessageBoxText(box).find("uninstaller may not find"), std::string::npos) << MessageBoxText(box);
    EXPECT_FALSE(WaitForWindow(0, "SimpleClass", NULL, 500)) << "started before the warning was read";
    again.Dismiss(box);
    EXPECT_EQ(again.process.Wait(), 1u);
    EXPECT_FALSE(Recorded("InstallDir"));
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cindertop");
    ExpectInstalled(destination);
    EXPECT_TRUE(WaitForWindow(0, "SimpleClass", NULL));
    EXPECT_FALSE(WaitForWindow(0, "Notepad", NULL, 1000));
}

// No place to install, no usable Programs folder for the group, a file name past 259 characters, a
// shortcut the shell cannot save (a folder holds its name), a licence another program holds open:
// the failure box, and the dialog stays. Nothing is made but the files before the failure, in
// particular nothing in setup's working folder. A drive, a user's folder, the folder of all
// profiles, and a folder holding a user's file or a folder of a carried name (differing in case, or
// beside a carried file of the package's own) are refused with a box that names them, before
// anything is made, the group folder included. Once the licence is freed "Go!" installs into the
// longest destination, 245 characters (with "\cindertop.url" 259), the folder with what the failed
// attempt left still the installation's own; without the group no Programs folder is needed.
TEST_F(SetupTest, RefusesWhatItCannotInstallAndStaysOpen)
{
    std::string working = FreshFolder("working"), files = FreshFolder("refused"), valid = files + "\\AmbitKnob";
    std::string tooLong = PathOfLength(246, "x", FreshFolder("bound246") + "\\"), blocked = FreshFolder("blocked");
    std::string locked = PathOfLength(245, "x", FreshFolder("locked") + "\\"), licence = locked + "\\license.txt";
    std::string shared = FreshFolder("shared"), carried = FreshFolder("carried-folder");
    char documents[MAX_PATH] = "", users[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, 0, documents);
    SHGetFolderPathA(NULL, CSIDL_PROFILE, NULL, 0, users);
    *strrchr(users, '\\') = '\0';
    WriteFileBytes(files + "\\Programs", "a file");
    WriteFileBytes(files + "\\Ambit Knob", "a file");
    WriteFileBytes(shared + "\\ReadMe.TXT", "the user's own");
    WriteFileBytes(carried + "\\uninstal.exe", CarriedFile("uninstal.exe"));
    SHCreateDirectoryExA(NULL, (carried + "\\license.txt").c_str(), NULL);
    SHCreateDirectoryExA(NULL, locked.c_str(), NULL);
    WriteFileBytes(licence, CarriedFile("license.txt"));
    HANDLE held = CreateFileA(licence.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    SHCreateDirectoryExA(NULL, (group_ + "\\cindertop.url.lnk").c_str(), NULL);
    auto guarded = [](const std::string& folder) {
        return "Setup cannot install Ambit Knob into\n" + folder + "\nIt is a drive, or a folder of the system or of a user, or "
               "holds one, and the uninstaller never removes anything from there. Please choose another folder.";
    };
    auto inTheWay = [](const std::string& file) {
        return "Setup cannot install Ambit Knob there. This is not one of its files:\n" + file +
               "\nSetup does not replace it. Please choose another folder.";
    };
    struct Case {
        std::string destination;
        std::optional<std::string> programs;  // the group is wanted when there is one; "-" deletes it
        Names written;
        std::string said = FailureText;
    } cases[] = {
        {""}, {"AmbitKnob"}, {"C:AmbitKnob"}, {"\\AmbitKnob"}, {PathOfLength(300, "x", "D:\\overlong\\")},
        {"\\\\?\\C:\\AmbitKnob"}, {"\\\\.\\C:\\AmbitKnob"}, {"\\\\./C:\\AmbitKnob"},
        {valid, "-"}, {valid, ""}, {valid, "Start Menu\\Programs"}, {valid, "C:Programs"},
        {valid, "D:\\" + std::string(240, 'p') + "\\Programs"}, {valid, files + "\\Missing\\Programs"},
        {valid, files + "\\Programs"}, {valid, files},
        {"D:\\", working, {}, guarded("D:\\")}, {documents, working, {}, guarded(documents)},
        {std::string(users) + "\\", working, {}, guarded(users)},
        {shared, working, {}, inTheWay(shared + "\\ReadMe.TXT")}, {carried, working, {}, inTheWay(carried + "\\license.txt")},
        {tooLong, std::nullopt, {"file_id.diz", "license.txt", "uninstal.exe"}},
        {blocked, ownPrograms_, {"cindertop.url", "file_id.diz", "license.txt", "readme.txt", "uninstal.exe"}},
        {locked, std::nullopt, {"file_id.diz", "license.txt", "uninstal.exe"}},
    };
    Installer setup(working);
    for (const Case& c : cases) {
        SCOPED_TRACE("destination \"" + c.destination + "\", Programs \"" + c.programs.value_or("(no group)") + "\"");
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", c.programs.value_or(ownPrograms_));
        if (c.programs == "-")
            RegDeleteKeyValueA(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
        setup.Options(false, c.programs.has_value(), false);
        std::string listed = c.destination.substr(0, c.destination.find_last_not_of('\\') + 1);
        Names before = FolderEntries(listed);
        HWND box = setup.Go(c.destination);
        EXPECT_EQ(MessageBoxText(box), c.said);
        setup.Dismiss(box);
        ASSERT_FALSE(setup.process.Wait(200)) << "the dialog should stay open";
        EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, IDC_DESTINATION)), c.destination);
        EXPECT_EQ(FolderEntries(listed), c.written.empty() ? before : c.written);
        for (const std::string& file : c.written)
            EXPECT_TRUE(ReadFileBytes(c.destination + "\\" + file) == CarriedFile(file)) << file;
        EXPECT_EQ(FolderEntries(working), Names{});
        EXPECT_EQ(FolderEntries(files), (Names{"Ambit Knob", "Programs"}));
        for (const char* made : {"C:\\AmbitKnob", "C:\\Ambit Knob", "C:\\Programs", "D:\\overlong"})
            EXPECT_FALSE(FolderExists(made)) << made;
    }
    EXPECT_EQ(FolderEntries(group_), (Names{"cindertop.url.lnk", "license.txt.lnk", "uninstal.exe.lnk"}));
    EXPECT_FALSE(Recorded("InstallDir"));
    EXPECT_EQ(ReadFileBytes(shared + "\\ReadMe.TXT"), "the user's own");
    CloseHandle(held);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
    HWND box = setup.Go(locked);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    setup.Dismiss(box);
    EXPECT_EQ(setup.process.Wait(), 1u);
    ExpectInstalled(locked);
    EXPECT_EQ(Recorded("OwnedDir"), locked);
}
