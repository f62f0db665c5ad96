// The installer end to end: its dialog as a user works it, everything one install leaves (files,
// program group, record, launches, exit code), and what it refuses; the uninstaller's two stages and
// its temporary copy. What neither may ever delete is the random sequences' matter.
#include "driver.h"

#include <shlobj.h>

#include <algorithm>

namespace {

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
        EXPECT_EQ(target + std::string("|") + description,
                  destination + "\\" + CarriedNames[i] + "|" + descriptions[i]);
    }
    file->Release(), link->Release();
}

// What the record says of an installation folder, named by its full path: "created levels,found
// files", or "none".
std::string Installation(const std::string& folder)
{
    DWORD record[14], size = sizeof record;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnob\\Installations", folder.c_str(),
                     RRF_RT_REG_BINARY, NULL, record, &size) != ERROR_SUCCESS ||
        size < 8)
        return "none";
    return std::to_string(record[0]) + "," + std::to_string(record[1]);
}

} // namespace

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
    // clang-format off: one case a line
    struct Case {
        std::string programFiles, remembered, shown;
        Names list;
        std::string browsed, shownThen; // nothing browsed, or Cancel, leaves what was shown
    } cases[] = {
        {"", "-", "", {"C:\\AmbitKnob"}, "D:\\", "D:\\AmbitKnob"},
        {"C:\\Program Files\\",
         "-",
         "C:\\Program Files\\AmbitKnob",
         {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"},
         "D:\\Tools",
         "D:\\Tools\\AmbitKnob"},
        {"D:\\AmbitKnob",
         "-",
         "D:\\AmbitKnob\\AmbitKnob",
         {"C:\\AmbitKnob", "D:\\AmbitKnob\\AmbitKnob"},
         "D:\\Tools\\ambitknob",
         "D:\\Tools\\ambitknob"},
        {PathOfLength(250), "-", "", {"C:\\AmbitKnob"}, deep},
        {"C:\\Program Files", "c:\\ambitknob", "c:\\ambitknob", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}, ""},
        {"C:\\Program Files", "C:\\Amb", "C:\\Amb", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
        {"C:\\Program Files", "", "", {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob"}},
        {"C:\\Program Files",
         "D:\\Tools\\AmbitKnob",
         "D:\\Tools\\AmbitKnob",
         {"C:\\AmbitKnob", "C:\\Program Files\\AmbitKnob", "D:\\Tools\\AmbitKnob"}},
    };
    // clang-format on
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
        for (WCHAR item[MAX_PATH] = L"";
             list.size() < 8 &&
             SendDlgItemMessageW(setup.dialog, IDC_DESTINATION, CB_GETLBTEXT, list.size(), (LPARAM)item) >= 0;)
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
            EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, IDC_DESTINATION)),
                      c.shownThen.empty() ? c.shown : c.shownThen);
        }
        if (i % 3 == 0)
            Click(setup.dialog, IDCANCEL);
        else if (i % 3 == 1)
            PostMessageA(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            PressKey(setup.dialog, VK_ESCAPE);
        EXPECT_EQ(setup.process.Wait(), 0u);
    }
}

// "Go!" twice back to back (queued clicks) for a destination of three missing levels: one install,
// one success box, the record after it (three levels created, no file found, an earlier version's
// record gone), then one readme and one program, and the group's shortcuts beside the user's file.
TEST_F(SetupTest, InstallLeavesFilesGroupRecordAndLaunches)
{
    WriteFileBytes(group_ + "\\notes.txt", "the user's own");
    std::string destination = FreshFolder("install") + "\\A\\B\\C";
    WriteString(HKEY_CURRENT_USER, ProductKey, "OwnedDir", destination); // an earlier version's
    Installer setup;
    setup.Options(true, true, true);
    SetDlgItemTextA(setup.dialog, IDC_DESTINATION, destination.c_str());
    Click(setup.dialog, IDOK);
    HWND box = setup.Go(destination);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    EXPECT_FALSE(WaitUntil(
        [&] {
            return TopWindows(setup.process.Id(), "#32770", "Information").size() > 1 ||
                   WaitForWindow(0, "Notepad", NULL, 0) || WaitForWindow(0, "SimpleClass", NULL, 0);
        },
        1000))
        << "a second box, or a launch before the box was dismissed";
    ExpectInstalled(destination);
    EXPECT_EQ(Recorded("InstallDir"), destination) << "the record is complete before the box";
    setup.Dismiss(box);
    EXPECT_EQ(setup.process.Wait(), 1u);
    EXPECT_EQ(Recorded("InstallDir"), destination);
    EXPECT_EQ(Installation(destination), "3,0");
    EXPECT_FALSE(Recorded("OwnedDir"));
    EXPECT_EQ(FolderEntries(group_), (Names{"ak.exe.lnk", "cindertop.url.lnk", "license.txt.lnk", "notes.txt",
                                            "readme.txt.lnk", "uninstal.exe.lnk"}));
    EXPECT_EQ(ReadFileBytes(group_ + "\\notes.txt"), "the user's own");
    ExpectShortcuts(group_, destination);
    HWND viewer = WaitForWindow(0, "Notepad", NULL), product = WaitForWindow(0, "SimpleClass", NULL);
    ASSERT_TRUE(viewer && product) << "readme " << viewer << ", program " << product;
    EXPECT_TRUE(WaitUntil([&] { return WindowText(viewer).find("readme") != std::string::npos; }))
        << WindowText(viewer);
    EXPECT_FALSE(WaitUntil(
        [] { return TopWindows(0, "Notepad", NULL).size() + TopWindows(0, "SimpleClass", NULL).size() > 2; }, 1000));
    for (HWND window : {viewer, product})
        Process(window).Kill();
}

// The refusal box's text for a file in the way: held, changed, or the user's ("").
static std::string Said(const std::string& why, const std::string& path)
{
    return why == "held" ? "Another program holds this file open:\n" + path +
                               "\nPlease close the program that uses it, then press Go! again."
           : why == "changed" ? "This file of Ambit Knob was changed since it was installed:\n" + path +
                                    "\nSetup does not replace it. Please choose another folder, or move the file away."
                              : "Setup cannot install Ambit Knob there. This is not one of its files:\n" + path +
                                    "\nSetup does not replace it. Please choose another folder.";
}

// No place to install (a device's name among them), no usable Programs folder for the group, a file
// name past 259 characters, a shortcut the shell cannot save (a folder holds its name): the failure
// box, its icon not the success box's, and the dialog stays. Nothing is made but the files before the failure, in
// particular nothing in setup's working folder. A licence another program holds open so that it cannot be read is
// refused with a box that names it, before anything is made, the group folder included; so is a
// link to nothing at a carried name, which Wine sees only when setup writes there. Once the
// shortcut's name is free, "Go!" installs into the
// longest destination, 245 characters (with "\cindertop.url" 259): what the failed attempt wrote is
// setup's own, not found there, and the levels it created are recorded.
TEST_F(SetupTest, RefusesWhatItCannotInstallAndStaysOpen)
{
    std::string working = FreshFolder("working"), files = FreshFolder("refused"), valid = files + "\\AmbitKnob";
    std::string tooLong = PathOfLength(246, "x", FreshFolder("bound246") + "\\");
    std::string above = FreshFolder("blocked"), blocked = PathOfLength(245, "x", above + "\\");
    std::string locked = FreshFolder("locked"), licence = locked + "\\license.txt";
    WriteFileBytes(files + "\\Programs", "a file");
    WriteFileBytes(files + "\\Ambit Knob", "a file");
    WriteFileBytes(licence, CarriedFile("license.txt"));
    HANDLE held = CreateFileA(licence.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    SHCreateDirectoryExA(NULL, (group_ + "\\cindertop.url.lnk").c_str(), NULL);
    // A link to nothing, which Wine takes for no file until setup's write finds the name taken.
    std::string dangling = FreshFolder("dangling");
    WriteFileBytes(dangling + "\\gone", "");
    Host("/bin/ln -s gone \"" + HostPath(std::wstring(dangling.begin(), dangling.end())) + "/uninstal.exe\"");
    EXPECT_TRUE(WaitUntil([&] { return FileExists(dangling + "\\uninstal.exe"); }) &&
                DeleteFileA((dangling + "\\gone").c_str()));
    // clang-format off: one case a line
    struct Case {
        std::string destination;
        std::optional<std::string> programs; // the group is wanted when there is one; "-" deletes it
        Names written;
        std::string said = FailureText;
    } cases[] = {
        {""},
        {"AmbitKnob"},
        {"C:AmbitKnob"},
        {"\\AmbitKnob"},
        {PathOfLength(300, "x", "D:\\overlong\\")},
        {"\\\\?\\C:\\AmbitKnob"},
        {"\\\\.\\C:\\AmbitKnob"},
        {"\\\\./C:\\AmbitKnob"},
        {"D:\\AK2\\NUL", working},
        {valid, "-"},
        {valid, ""},
        {valid, "Start Menu\\Programs"},
        {valid, "C:Programs"},
        {valid, "D:\\" + std::string(240, 'p') + "\\Programs"},
        {valid, files + "\\Missing\\Programs"},
        {valid, files + "\\Programs"},
        {valid, files},
        {locked, working, {}, Said("held", licence)},
        {dangling, std::nullopt, {}, Said("", dangling + "\\uninstal.exe")},
        {tooLong, std::nullopt},
        {blocked, ownPrograms_, {}, Said("", group_ + "\\cindertop.url.lnk")},
    };
    // clang-format on
    RemoveTree(L"D:\\AmbitKnob");
    Installer setup(working);
    std::string failureIcon;
    for (const Case& c : cases) {
        SCOPED_TRACE("destination \"" + c.destination + "\", Programs \"" + c.programs.value_or("(no group)") + "\"");
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", c.programs.value_or(ownPrograms_));
        if (c.programs == "-")
            RegDeleteKeyValueA(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
        setup.Options(false, c.programs.has_value(), false);
        // A name that is no full path could only land in setup's own folder or a root, checked below.
        bool full = c.destination.size() > 2 && c.destination[1] == ':' && c.destination[2] == '\\';
        std::string listed = full ? c.destination.substr(0, c.destination.find_last_not_of('\\') + 1) : working;
        Names before = FolderEntries(listed);
        HWND box = setup.Go(c.destination);
        EXPECT_EQ(MessageBoxText(box), c.said);
        failureIcon = failureIcon.empty() ? IconPixels(box) : failureIcon;
        setup.Dismiss(box);
        ASSERT_FALSE(setup.process.Wait(200)) << "the dialog should stay open";
        EXPECT_EQ(WindowText(GetDlgItem(setup.dialog, IDC_DESTINATION)), c.destination);
        EXPECT_EQ(FolderEntries(listed), c.written.empty() ? before : c.written);
        for (const std::string& file : c.written)
            EXPECT_TRUE(ReadFileBytes(c.destination + "\\" + file) == CarriedFile(file)) << file;
        EXPECT_EQ(FolderEntries(working), Names{});
        EXPECT_EQ(FolderEntries(files), (Names{"Ambit Knob", "Programs"}));
        for (const char* made :
             {"C:\\AmbitKnob", "D:\\AmbitKnob", "C:\\Ambit Knob", "C:\\Programs", "D:\\overlong", "D:\\AK2"})
            EXPECT_FALSE(FolderExists(made)) << made;
    }
    EXPECT_EQ(FolderEntries(group_), (Names{"cindertop.url.lnk"}));
    EXPECT_FALSE(Recorded("InstallDir"));
    EXPECT_EQ(Installation(tooLong), "none") << "a failed attempt leaves its record";
    CloseHandle(held);
    RemoveDirectoryA((group_ + "\\cindertop.url.lnk").c_str());
    HWND box = setup.Go(blocked);
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    EXPECT_NE(IconPixels(box), failureIcon) << "the failure box shows the success box's icon";
    setup.Dismiss(box);
    EXPECT_EQ(setup.process.Wait(), 1u);
    ExpectInstalled(blocked);
    EXPECT_EQ(Installation(blocked),
              std::to_string(std::count(blocked.begin() + above.size(), blocked.end(), '\\')) + ",0");
}

namespace {

// The box "Go!" gives for a destination, dismissed; the dialog stays.
std::string Refused(Installer& setup, const std::wstring& destination)
{
    SetDlgItemTextW(setup.dialog, IDC_DESTINATION, destination.c_str());
    Click(setup.dialog, IDOK);
    HWND box = WaitForBox(setup.process.Id(), "Information");
    std::string text = MessageBoxText(box);
    setup.Dismiss(box);
    return text;
}

} // namespace

// What is in the way is named for what it is: the user's own shortcuts in a group folder of theirs
// (kept byte for byte), a file of the installation held open or edited since. A name the code page
// cannot hold is refused, never installed into its look-alike; one with trailing blanks is recorded
// as the folder that holds the files. The uninstaller closes only Ambit Knob running from the
// installation, not the user's portable copy, and a folder setup made that holds only the user's
// files is named under "Success!".
TEST_F(SetupTest, EachRefusalAndBoxSaysWhatIsWhose)
{
    std::string base = FreshFolder("whose"), dir = base + "\\AK", portable = FreshFolder("portable") + "\\ak.exe";
    WriteFileBytes(group_ + "\\ak.exe.lnk", "the user's shortcut"),
        WriteFileBytes(group_ + "\\readme.txt.lnk", "notes");
    Installer setup;
    setup.Options(false, true, false);
    EXPECT_EQ(Refused(setup, std::wstring(dir.begin(), dir.end())), Said("", group_ + "\\readme.txt.lnk"));
    EXPECT_EQ(ReadFileBytes(group_ + "\\ak.exe.lnk") + ReadFileBytes(group_ + "\\readme.txt.lnk"),
              "the user's shortcutnotes");
    EXPECT_EQ(FolderEntries(base), Names{}) << "a refusal writes nothing";
    EXPECT_EQ(
        Refused(setup, L"D:\\whose\\\x0141ukasz"),
        "Setup cannot install Ambit Knob into a folder whose name has characters that this system's code page cannot "
        "hold. Please choose another folder.");
    EXPECT_EQ(FolderEntries(base), Names{}) << "installed into a look-alike";
    setup.Options(false, false, false);
    HWND box = setup.Go(dir + " ");
    EXPECT_EQ(MessageBoxText(box), SuccessText);
    setup.Dismiss(box);
    EXPECT_EQ(Recorded("InstallDir"), dir);

    HANDLE held = CreateFileA((dir + "\\readme.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    Installer again;
    again.Options(false, false, false);
    EXPECT_EQ(Refused(again, std::wstring(dir.begin(), dir.end())), Said("held", dir + "\\readme.txt"));
    CloseHandle(held);
    WriteFileBytes(dir + "\\readme.txt", "edited");
    EXPECT_EQ(Refused(again, std::wstring(dir.begin(), dir.end())), Said("changed", dir + "\\readme.txt"));
    again.process.Kill();

    CopyFileA((dir + "\\ak.exe").c_str(), portable.c_str(), FALSE);
    Process mine(portable), installed(dir + "\\ak.exe");
    ASSERT_TRUE(WaitUntil([] { return TopWindows(0, "SimpleClass", NULL).size() == 2; }));
    std::optional<Process> second;
    Process first(dir + "\\uninstal.exe");
    HWND question = BoxBesides(first.Id());
    second.emplace(question);
    std::optional<DWORD> code;
    std::string said = Answer(*second, question, true, &code);
    EXPECT_EQ(said.substr(0, said.find_last_of('\n') + 1),
              "Success!\nThese folders stay for what is not Ambit Knob's:\n" + dir +
                  "\n    kept: it holds files the installer did not write, or that were changed since\n");
    EXPECT_EQ(installed.Wait(1000), 0u) << "Ambit Knob of the installation still runs";
    EXPECT_FALSE(mine.Wait(500)) << "the user's own copy was closed";
    EXPECT_EQ(FolderEntries(dir), Names{"readme.txt"});
}

namespace {

// The installation's entry in the list of installed programs, its values joined by "|".
std::string Entry(const std::string& key = "AmbitKnob")
{
    std::string joined;
    for (const char* name : {"DisplayName", "DisplayVersion", "Publisher", "URLInfoAbout", "DisplayIcon",
                             "InstallLocation", "UninstallString", "EstimatedSize", "NoModify", "NoRepair"}) {
        char data[MAX_PATH] = ""; // a DWORD's bytes, or text
        DWORD type = REG_SZ, size = sizeof data;
        RegGetValueA(HKEY_CURRENT_USER, ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key).c_str(),
                     name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, data, &size);
        joined += (type == REG_DWORD ? std::to_string(*(DWORD*)data) : std::string(data)) + "|";
    }
    return joined;
}

std::string ExpectedEntry(const std::string& folder, const std::string& name = "Ambit Knob")
{
    std::string web = CarriedFile("cindertop.url"), address = web.substr(web.find("URL=") + 4);
    size_t bytes = 0;
    for (const char* name : CarriedNames)
        bytes += CarriedFile(name).size();
    return name + "|2.00|Cindertop|" + address.substr(0, address.find_first_of("\r\n")) + "|" + folder + "\\ak.exe|" +
           folder + "|\"" + folder + "\\uninstal.exe\"|" + std::to_string((bytes + 1023) / 1024) + "|1|1|";
}

// Answers the uninstaller's question with OK; its last box's text, read wide.
std::wstring ConfirmUninstall()
{
    HWND question = WaitForBox(0, "Uninstalling Ambit Knob"), last = NULL;
    Process second(question);
    Click(question, IDOK);
    WaitUntil([&] { return (last = WaitForBox(second.Id(), "Uninstalling Ambit Knob")) != question; }, 30000);
    WCHAR text[1024] = L"";
    GetDlgItemTextW(last, 0xFFFF, text, 1024);
    Click(last, IDOK);
    EXPECT_EQ(second.Wait(), 0u);
    return text;
}

} // namespace

// A user whose profile is named outside the code page: the Programs and temporary folders are the
// system's, and setup and the uninstaller take them wide. A setup.exe damaged on its way (one byte of
// the carried readme changed) says so before its dialog and ends with 2, having touched nothing, not
// even the uninstaller's left temporary copy that a whole setup deletes. Each install has its own
// entry in the system's list of installed programs, a second one's naming its folder, and writes
// over the group's shortcuts of the first. The list's "remove" starts the second's uninstaller,
// which removes it with its entry and says that the first is still installed, where "InstallDir"
// then points; the group's uninstall shortcut removes the first, and nothing of either is left.
TEST_F(SetupTest, ADamagedSetupTouchesNothingAndListedInstallsInAProfileOutsideTheCodePageGo)
{
    std::wstring profile = L"D:\\\x0141ukasz", programs = profile + L"\\Start Menu\\Programs",
                 temp = profile + L"\\Temp";
    std::wstring group = programs + L"\\Ambit Knob\\", copy = temp + L"\\uninstall.exe";
    RemoveTree(group);
    SHCreateDirectoryExW(NULL, programs.c_str(), NULL);
    SHCreateDirectoryExW(NULL, temp.c_str(), NULL);
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    L"Programs", REG_SZ, programs.c_str(), (DWORD)(programs.size() + 1) * sizeof(WCHAR));
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"TMP", temp.c_str());

    std::string image = ReadFileBytes(BuildPath("setup.exe")), readme = CarriedFile("readme.txt");
    image[image.find(readme) + readme.size() / 2] ^= 1;
    WriteFileBytes(FreshFolder("damaged") + "\\setup.exe", image);
    CopyFileW(L"T:\\uninstal.exe", copy.c_str(), FALSE);
    WriteString(HKEY_CURRENT_USER, ProductKey, "LeftCopy", "1");
    Process damaged("D:\\damaged\\setup.exe");
    HWND box = WaitForBox(damaged.Id(), "Information");
    EXPECT_EQ(MessageBoxText(box),
              "This setup file is damaged, so nothing was installed. Please get a new copy of it.");
    Click(box, IDOK);
    EXPECT_EQ(damaged.Wait(), 2u);
    EXPECT_TRUE(GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES && Recorded("LeftCopy"))
        << "the left copy went";

    std::string base = FreshFolder("listed"), first = base + "\\First", second = base + "\\Second";
    // The copy, in a folder of its own in that temporary folder, is left to the next run: Wine
    // keeps no folder closed to the user's programs.
    auto goneAfter = [&](const std::wstring& before, const std::wstring& said) {
        std::wstring start = L"Success!\n" + before + temp + L"\\AmbitKnob-Uninstall-",
                     end = L"\\uninstall.exe will be deleted the next time setup or the uninstaller runs.";
        return said.size() == start.size() + 8 + end.size() && said.rfind(start, 0) == 0 &&
               said.find(end) == said.size() - end.size();
    };
    auto gone = [&](const std::wstring& said) { return goneAfter(L"", said); };
    ASSERT_TRUE(Install(first, true));
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES) << "a whole setup leaves the left copy";
    EXPECT_EQ(Entry(), ExpectedEntry(first));
    ASSERT_TRUE(Install(second, true));
    EXPECT_EQ(Entry(), ExpectedEntry(first));
    EXPECT_EQ(Entry("AmbitKnob-1"), ExpectedEntry(second, "Ambit Knob (" + second + ")"));
    Process remove("C:\\windows\\system32\\uninstaller.exe", "--remove AmbitKnob-1");
    EXPECT_PRED2(goneAfter,
                 L"This uninstalled Ambit Knob from\n" + std::wstring(second.begin(), second.end()) +
                     L"\nIt is still installed in\n" + std::wstring(first.begin(), first.end()) +
                     L"\nwhose own uninstaller removes it.\n",
                 ConfirmUninstall());
    EXPECT_FALSE(FolderExists(second));
    EXPECT_EQ(Entry("AmbitKnob-1"), "||||||||||");
    EXPECT_EQ(Recorded("InstallDir"), first) << "it names the installation still there";
    ASSERT_TRUE(Install(first, true));
    ASSERT_GT((INT_PTR)ShellExecuteW(NULL, L"open", (group + L"uninstal.exe.lnk").c_str(), NULL, NULL, SW_SHOWDEFAULT),
              32);
    EXPECT_PRED1(gone, ConfirmUninstall());
    EXPECT_EQ(FolderEntries(base), Names{});
    EXPECT_EQ(GetFileAttributesW(group.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Entry(), "||||||||||");
    EXPECT_FALSE(Recorded("InstallDir"));
}

namespace {

const char* const CannotStart = "The uninstall of Ambit Knob cannot start. Nothing was removed.";
const char* const SessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";

// Whether the file is registered for deletion at the next restart: its name, then an empty one.
bool RegisteredForDeletion(const std::string& path)
{
    std::string data(65536, '\0'), wanted = "\\??\\" + path + std::string(2, '\0');
    DWORD size = (DWORD)data.size();
    RegGetValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, NULL,
                 data.data(), &size);
    return std::search(data.begin(), data.begin() + size, wanted.begin(), wanted.end(),
                       [](char a, char b) { return tolower(a) == tolower(b); }) != data.begin() + size;
}

class Uninstall : public EndToEnd {
protected:
    // A copy of the uninstaller as a user starts it: it ends at once with 0, asking nothing, and a
    // second process asks. Returns that question.
    HWND StartFirstStage(const std::string& exe, const std::string& arguments = "")
    {
        Process first(exe, arguments, exe.substr(0, exe.find_last_of('\\')));
        EXPECT_EQ(first.Wait(), 0u) << "the first stage waits for something, or failed";
        HWND question = BoxBesides(first.Id());
        EXPECT_NE(question, (HWND)NULL) << "no second stage asked";
        second_.emplace(question);
        return question;
    }
    // Answers OK and returns the text of the box that ends the second stage, which then ends with 0.
    std::string Confirm(HWND question)
    {
        std::optional<DWORD> code;
        std::string text = question ? Answer(*second_, question, true, &code) : "(no question)";
        EXPECT_EQ(code, 0u) << "the second stage still runs after its last box";
        return text;
    }
    // The temporary copy started by hand at the earlier versions' fixed name: it goes by the record.
    std::string Uninstalled()
    {
        EXPECT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), TempCopy().c_str(), FALSE));
        second_.emplace(TempCopy(), "", cwd_);
        return Confirm(WaitForBox(second_->Id(), Caption));
    }
    // The last box of a whole uninstall by a copy left to the next run.
    static std::string Outcome(const std::string& copy = TempCopy()) { return "Success!\n" + copy + NextRun; }
    // The program a window's process runs.
    static std::string RunsFrom(HWND window)
    {
        char path[MAX_PATH] = "";
        DWORD size = MAX_PATH;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(window));
        QueryFullProcessImageNameA(process, 0, path, &size);
        CloseHandle(process);
        return path;
    }

    static inline const std::string NextRun = " will be deleted the next time setup or the uninstaller runs.";
    std::optional<Process> second_;
    std::string cwd_ = FreshFolder("uninstall-cwd");
};

// Two installations and one group: the second writes over the first's shortcuts, so uninstalling
// the first leaves the group it made for the second's, says so under "Success!", and hands it on;
// the second then removes it. An installation whose folder the user deleted is not said to be
// still installed, and one installed without the group leaves the other's shortcuts alone.
TEST_F(Uninstall, TwoInstallationsShareTheGroup)
{
    std::string a = FreshFolder("two") + "\\A", b = "D:\\two\\B", c = "D:\\two\\C", group = programs_ + "\\Ambit Knob";
    auto uninstall = [&](const std::string& folder) {
        std::string said = Confirm(StartFirstStage(folder + "\\uninstal.exe"));
        return said.substr(0, said.find_last_of('\n') + 1);
    };
    ASSERT_TRUE(Install(a, true) && Install(b, true) && Install(c, false));
    EXPECT_EQ(uninstall(a),
              "Success!\nThese folders stay for what is not Ambit Knob's:\n" + group +
                  "\n    kept: it holds another installation's shortcuts\nThis uninstalled Ambit Knob from\n" + a +
                  "\nIt is still installed in\n" + c + "\nwhose own uninstaller removes it.\n");
    EXPECT_EQ(FolderEntries(group).size(), 5u);
    EXPECT_EQ(uninstall(c), "Success!\nThis uninstalled Ambit Knob from\n" + c + "\nIt is still installed in\n" + b +
                                "\nwhose own uninstaller removes it.\n");
    EXPECT_EQ(FolderEntries(group).size(), 5u) << "the shortcuts of another installation went";
    ASSERT_TRUE(Install(a, false));
    RemoveTree(std::wstring(a.begin(), a.end()));
    EXPECT_EQ(uninstall(b), "Success!\n") << "said to be still installed where the user deleted it";
    EXPECT_FALSE(FolderExists(group)) << "the group went with neither installation";
    EXPECT_EQ(FolderEntries("D:\\two"), Names{});
}

// A copy elsewhere told it is the second stage asks at once, starts no other copy and is the user's
// to delete; a marked copy inside the installation hands over after all. Each first stage starts
// its copy from a new folder of its own in the temporary folder, two uninstalls at once from two.
// Wine keeps no folder closed to the user's other programs, so each copy is left to the next setup,
// which deletes it while it is the uninstaller's bytes, then its folder once empty; so is the copy
// started by hand at the earlier versions' fixed name. Anything else there is someone's: it stays,
// and no longer keeps the uninstall from starting. A temporary folder too long for the copy's path
// does (259 characters work).
TEST_F(Uninstall, EachStageAndItsTemporaryCopies)
{
    std::string copy = FreshFolder("copy") + "\\uninstal.exe", dir = FreshFolder("marked-inside") + "\\AmbitKnob";
    std::string other = FreshFolder("at-once") + "\\AmbitKnob";
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), copy.c_str(), FALSE));
    second_.emplace(copy, "/relaunched");
    HWND question = WaitForBox(second_->Id(), Caption);
    EXPECT_EQ(MessageBoxText(question), Question);
    EXPECT_FALSE(BoxBesides(second_->Id(), 1500) || !CopyFolders().empty()) << "it started another copy";
    EXPECT_EQ(Confirm(question), "No installation of Ambit Knob is recorded. Nothing was removed.\n" + copy +
                                     " stays; it can be deleted by hand.");
    EXPECT_FALSE(RegisteredForDeletion(copy));

    ASSERT_TRUE(Install(dir, true) && Install(other, false));
    Process one(other + "\\uninstal.exe", "/relaunched", other), two(dir + "\\uninstal.exe", "", dir);
    EXPECT_TRUE(one.Wait() == 0u && two.Wait() == 0u) << "a first stage waits for something, or failed";
    std::vector<HWND> questions;
    EXPECT_TRUE(WaitUntil([&] { return (questions = TopWindows(0, "#32770", Caption)).size() == 2; }));
    Names copies = CopyFolders(), ran;
    ASSERT_EQ(copies.size(), 2u);
    for (HWND asked : questions) {
        ran.push_back(RunsFrom(asked));
        second_.emplace(asked);
        std::string said = Confirm(asked);
        EXPECT_EQ(said.substr(said.find_last_of('\n') + 1), ran.back() + NextRun);
    }
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (Names{copies[0] + "\\uninstall.exe", copies[1] + "\\uninstall.exe"}));
    EXPECT_TRUE(!FolderExists(dir) && !FolderExists(other));
    for (const std::string& folder : copies)
        EXPECT_EQ(FolderEntries(folder), Names{"uninstall.exe"});
    // A folder the user makes again at an installation's name is theirs, though setup made the first.
    ASSERT_TRUE(Install(dir, false));
    RemoveTree(std::wstring(dir.begin(), dir.end())), CreateDirectoryA(dir.c_str(), NULL);
    // Under Wine the new folder may get the number of the one deleted, and pass for it.
    std::string said = Uninstalled();
    EXPECT_TRUE(said == Outcome() ||
                said == "No installation of Ambit Knob is recorded. Nothing was removed.\n" + TempCopy() + NextRun)
        << said;
    EXPECT_TRUE(FolderExists(dir)) << "the user's own folder was removed";
    std::string someones = TempFolder() + "AmbitKnob-Uninstall-Mine";
    CreateDirectoryA(someones.c_str(), NULL);
    WriteFileBytes(someones + "\\uninstall.exe", CarriedFile("ak.exe"));
    Installer{};
    EXPECT_EQ(CopyFolders(), Names{someones});
    EXPECT_TRUE(ReadFileBytes(someones + "\\uninstall.exe") == CarriedFile("ak.exe"));
    EXPECT_FALSE(FileExists(TempCopy()) || Recorded("LeftCopy"));
    // An installation moved away is not found: its record stays, and once it is back the uninstall goes on.
    ASSERT_TRUE(Install(dir, false));
    ASSERT_TRUE(MoveFileA(dir.c_str(), (dir + "2").c_str()));
    EXPECT_EQ(Uninstalled(),
              "Ambit Knob was not removed completely. Left in place:\n" + dir +
                  "\n    not found, so not removed: it was moved, or its drive is not there\nNothing outside the "
                  "installation was touched.\n" +
                  TempCopy() + NextRun);
    ASSERT_TRUE(MoveFileA((dir + "2").c_str(), dir.c_str()));
    EXPECT_EQ(Uninstalled(), Outcome());
    EXPECT_EQ(Installation(dir), "none");
    // Elevated, as every run is under Wine, it opens no share the records name, and names a drive it
    // cannot see; either way nothing is removed and the record stays.
    const DWORD legacy[2] = {1, 0};
    RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(ProductKey) + "\\Installations").c_str(), "\\\\server\\share\\AK",
                    REG_BINARY, legacy, sizeof legacy);
    WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", "\\\\server\\share\\AK");
    EXPECT_EQ(Uninstalled(),
              "No installation of Ambit Knob is recorded. Nothing was removed.\n" + TempCopy() + NextRun);
    WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", "Q:\\AmbitKnob");
    EXPECT_EQ(Uninstalled(),
              "Ambit Knob is installed on drive Q:, which this uninstaller, running as administrator, cannot "
              "see. Nothing was removed. Make the drive available to administrators too, then run the "
              "uninstaller again.\n" +
                  TempCopy() + NextRun);
    EXPECT_EQ(Recorded("InstallDir"), "Q:\\AmbitKnob");
    EXPECT_EQ(Installation("\\\\server\\share\\AK"), "1,0");

    std::string fits = FreshFolder(std::string(213, 'v')), tooLong = FreshFolder(std::string(214, 'w'));
    WriteFileBytes(fits + "\\uninstall.exe", CarriedFile("ak.exe"));
    WriteString(HKEY_CURRENT_USER, ProductKey, "LeftCopy", "1");
    for (std::string folder : {tooLong, fits}) {
        SetEnvironmentVariableA("TMP", (folder + "\\").c_str());
        if (folder == fits) {
            std::string said = Confirm(StartFirstStage(copy));
            ASSERT_EQ(CopyFolders().size(), 1u);
            EXPECT_EQ(said, "No installation of Ambit Knob is recorded. Nothing was removed.\n" + CopyFolders()[0] +
                                "\\uninstall.exe" + NextRun);
            EXPECT_EQ(CopyFolders()[0].size() + 14, 259u);
            continue;
        }
        Process first(copy);
        HWND box = WaitForBox(first.Id(), Caption);
        EXPECT_EQ(MessageBoxText(box), CannotStart) << folder;
        Click(box, IDOK);
        EXPECT_EQ(first.Wait(), 0u);
        EXPECT_FALSE(BoxBesides(first.Id(), 1500)) << folder << ": something was started";
        EXPECT_EQ(FolderEntries(folder), Names{});
    }
    EXPECT_TRUE(ReadFileBytes(fits + "\\uninstall.exe") == CarriedFile("ak.exe"));
}

} // namespace
