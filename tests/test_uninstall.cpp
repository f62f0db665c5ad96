// The uninstaller end to end: real installs, the two stages worked through their boxes as a user
// answers them, and the guard that keeps every deletion inside the installation.
#include "driver.h"

#include <shlobj.h>

#include <algorithm>

namespace {

const char* const Caption = "Uninstalling Ambit Knob";
const char* const Question = "Are you sure you want to uninstall Ambit Knob?";
const char* const RefusedSystem = "refused: a drive, or a folder that is or holds a folder of the system or of a user";
const char* const RefusedForeign = "refused: not a folder of Ambit Knob";
const char* const HoldsOthers = "kept: it holds files the installer did not write";
const char* const NotRemoved = "kept: it could not be removed";
const char* const NotFound = "not found, so not removed: it was moved, or its drive is not there";
const char* const SessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";

std::string TempFolder()
{
    char path[MAX_PATH];
    return std::string(path, GetTempPathA(MAX_PATH, path));
}

std::string ShellFolder(REFKNOWNFOLDERID id)
{
    WCHAR* path = NULL;
    std::wstring wide = SHGetKnownFolderPath(id, 0, NULL, &path) == S_OK ? path : L"";
    CoTaskMemFree(path);
    return std::string(wide.begin(), wide.end());
}

// Whether the file is registered for deletion at the next restart: its name, then an empty one.
bool RegisteredForDeletion(const std::string& path)
{
    std::string data(65536, '\0'), wanted = "\\??\\" + path + std::string(2, '\0');
    DWORD size = (DWORD)data.size();
    RegGetValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations",
                 RRF_RT_REG_MULTI_SZ, NULL, data.data(), &size);
    return std::search(data.begin(), data.begin() + size, wanted.begin(), wanted.end(),
                       [](char a, char b) { return tolower(a) == tolower(b); }) != data.begin() + size;
}

// Under Wine, the host's name of a Windows path.
std::string HostPath(const std::string& path)
{
    auto unixName = (char*(CDECL*)(const WCHAR*))(void*)GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    char* name = unixName ? unixName(std::wstring(path.begin(), path.end()).c_str()) : NULL;
    std::string host = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// A symbolic link, which Wine does not make itself: the host's "ln" makes it, started without
// waiting for it.
bool MakeLink(const std::string& link, const std::string& target)
{
    size_t cut = link.find_last_of('\\');
    WinExec(("\\\\?\\unix/bin/ln -s \"" + HostPath(target) + "\" \"" + HostPath(link.substr(0, cut)) + "/" + link.substr(cut + 1) + "\"").c_str(), 0);
    return WaitUntil([&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000);
}

// A running product as the uninstaller finds it, a window of its class, here on a thread of the
// test. Asked to close, it notes whether the watched folder is still there, and answers only once
// g_release is set.
std::string g_watched, g_seen;
HANDLE g_release = CreateEventA(NULL, TRUE, TRUE, NULL);

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && WaitForSingleObject(g_release, INFINITE) == WAIT_OBJECT_0)
        g_seen = FolderExists(g_watched) ? "present" : "absent";
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI RunStandIn(void*)
{
    WNDCLASSA windowClass = {0, StandInProc, 0, 0, NULL, NULL, NULL, NULL, NULL, "SimpleClass"};
    RegisterClassA(&windowClass);
    CreateWindowA("SimpleClass", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL, NULL, NULL);
    for (MSG message; GetMessageA(&message, NULL, 0, 0) > 0;)
        DispatchMessageA(&message);
    return 0;
}

class Uninstall : public EndToEnd {
protected:
    HANDLE StartStandIn()
    {
        HANDLE thread = CreateThread(NULL, 0, RunStandIn, NULL, 0, NULL);
        EXPECT_TRUE(WaitForWindow(GetCurrentProcessId(), "SimpleClass", NULL));
        return thread;
    }
    // The uninstaller's box of another process than the given one, should one come in time.
    static HWND BoxBesides(DWORD processId, DWORD timeoutMs = 10000)
    {
        HWND found = NULL;
        WaitUntil([&] {
            for (HWND box : TopWindows(0, "#32770", Caption))
                found = ProcessOf(box) != processId ? box : found;
            return found != NULL;
        }, timeoutMs);
        return found;
    }
    // A copy of the uninstaller as a user starts it: it ends at once with 0, asking nothing, and a
    // second process asks. Returns that question.
    HWND StartFirstStage(const std::string& exe, const std::string& arguments = "")
    {
        Process first(exe, arguments, exe.substr(0, exe.find_last_of('\\')));
        EXPECT_EQ(first.Wait(), 0u) << "the first stage waits for something, or failed";
        HWND question = BoxBesides(first.Id());
        second_.emplace(question);
        return question;
    }
    // Answers OK and returns the text of the box that ends the second stage, which then ends with 0.
    std::string Confirm(HWND question)
    {
        Click(question, IDOK);
        HWND box = NULL;
        WaitUntil([&] {
            for (HWND window : TopWindows(second_->Id(), "#32770", Caption))
                box = window != question && MessageBoxText(window) != Question ? window : box;
            return box != NULL;
        }, 30000);
        std::string text = box ? MessageBoxText(box) : "(no last box)";
        Click(box, IDOK);
        EXPECT_EQ(second_->Wait(), 0u) << "the second stage still runs after its last box";
        return text;
    }
    // The temporary copy started directly, as the first stage starts it, on what is recorded.
    std::string Uninstalled()
    {
        EXPECT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), TempCopy().c_str(), FALSE));
        second_.emplace(TempCopy(), "", cwd_);
        return Confirm(WaitForBox(second_->Id(), Caption));
    }
    std::string InstalledAndUninstalled(const std::string& dir)
    {
        EXPECT_TRUE(Install(dir, true) && FolderExists(Group())) << dir;
        return Confirm(StartFirstStage(dir + "\\uninstal.exe"));
    }
    // The last box: "Success!", or the folder left in place with its reason; then what becomes of
    // the temporary copy.
    static std::string Outcome(const std::string& kept = "", const char* reason = NULL,
                               const char* fate = " will be deleted after reboot.")
    {
        std::string restart = TempCopy() + fate;
        return reason ? "Ambit Knob was not removed completely. Left in place:\n" + kept + "\n    " + reason +
                            "\nNothing outside the installation was touched.\n" + restart
                      : "Success!\n" + restart;
    }
    static std::string TempCopy() { return TempFolder() + "uninstall.exe"; }
    std::string Group() { return ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or("") + "\\Ambit Knob"; }

    std::optional<Process> second_;
    std::string cwd_ = FreshFolder("uninstall-cwd");
};

// The installation's own folder, with what the product wrote into it over time, from a Cancel to
// the way a user goes: the group's "Uninstall" shortcut, with the product still running.
TEST_F(Uninstall, OwnFolderGoesWholeFromTheGroupShortcutAfterACancel)
{
    std::string dir = FreshFolder("own") + "\\AmbitKnob";
    std::wstring wide = L"\\\\?\\" + std::wstring(dir.begin(), dir.end()), deep = wide;
    ASSERT_TRUE(Install(dir, true));
    // Settings, a read-only file, a name outside the ANSI code page, a path of 257 characters, a
    // tree deeper than 259; then a reinstall, after which the folder is still the installation's own.
    WriteFileBytes(dir + "\\settings.ini", "made by the product");
    SetFileAttributesA((dir + "\\settings.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(dir + "\\" + std::string(256 - dir.size(), 'n'), "x");
    for (int level = 0; level < 5; level++)
        ASSERT_TRUE(CreateDirectoryW((deep += L"\\" + std::wstring(50, L'a' + level)).c_str(), NULL));
    for (std::wstring file : {wide + L"\\\x0444\x4e2d\x00e9.txt", deep + L"\\deep.txt"})
        CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    ASSERT_TRUE(Install(dir, true));
    EXPECT_EQ(Recorded("OwnedDir"), dir);

    HWND question = StartFirstStage(dir + "\\uninstal.exe");
    EXPECT_TRUE(ReadFileBytes(TempCopy()) == CarriedFile("uninstal.exe")) << "no copy at " << TempCopy();
    EXPECT_TRUE(RegisteredForDeletion(TempCopy()));
    EXPECT_EQ(MessageBoxText(question), Question);
    Click(question, IDCANCEL);
    EXPECT_EQ(second_->Wait(), 0u);
    EXPECT_EQ(FolderEntries(dir).size(), 10u);
    EXPECT_EQ(FolderEntries(Group()).size(), 5u);

    g_watched = dir;
    HANDLE product = StartStandIn();
    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", (Group() + "\\uninstal.exe.lnk").c_str(), NULL, NULL, SW_SHOWDEFAULT), 32);
    second_.emplace(question = WaitForBox(0, Caption));
    EXPECT_EQ(Confirm(question), Outcome());
    EXPECT_EQ(WaitForSingleObject(product, 0), WAIT_OBJECT_0) << "the product was not closed";
    EXPECT_EQ(g_seen, "present") << "the product was not closed before the folder went";
    EXPECT_EQ(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES) << testing::PrintToString(FolderEntries(dir));
    EXPECT_TRUE(FolderExists(dir.substr(0, dir.find_last_of('\\'))));
    EXPECT_FALSE(FolderExists(Group()));
    EXPECT_TRUE(FolderExists(programs_));
    // Nothing is left, nor is the record: a later run, or the copy still waiting for the restart,
    // finds nothing to judge in a new folder of that name.
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, ProductKey, &key), ERROR_SUCCESS) << "the record outlived the uninstall";
    SHCreateDirectoryExA(NULL, dir.c_str(), NULL);
    WriteFileBytes(dir + "\\ak.exe", "the user's new folder");
    EXPECT_EQ(Uninstalled(), Outcome());
    EXPECT_EQ(ReadFileBytes(dir + "\\ak.exe"), "the user's new folder");
}

// A copy elsewhere told it is the second stage asks at once and starts no other copy; a marked copy
// inside the installation cannot remove it and hands over after all. A
// file at the copy's path that cannot be replaced, or a temporary folder too long for the copy's
// name (264 characters): the first stage says so and starts nothing. A copy's path that fits (244
// characters) but not inside the success text leaves the path out of it.
TEST_F(Uninstall, EachStageAndItsTemporaryCopy)
{
    std::string copy = FreshFolder("copy") + "\\uninstal.exe", dir = FreshFolder("marked-inside") + "\\AmbitKnob", temp = TempFolder();
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), copy.c_str(), FALSE));
    second_.emplace(copy, "/relaunched");
    HWND question = WaitForBox(second_->Id(), Caption);
    EXPECT_EQ(MessageBoxText(question), Question);
    EXPECT_TRUE(RegisteredForDeletion(copy)) << "the running copy registers itself";
    EXPECT_FALSE(BoxBesides(second_->Id(), 1500) || FileExists(TempCopy())) << "it started another copy";
    Click(question, IDCANCEL);
    EXPECT_EQ(second_->Wait(), 0u);
    ASSERT_TRUE(Install(dir, true));
    EXPECT_EQ(Confirm(StartFirstStage(dir + "\\uninstal.exe", "/relaunched")), Outcome());
    EXPECT_FALSE(FolderExists(dir));

    // Where the system takes no file to delete at restart (under Wine: a pending list that is not
    // a list), the copy is recorded; the next setup deletes it while it is still that copy.
    for (std::string there : {"the copy", "someone's own"}) {
        DWORD notAList = 1;
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations", REG_DWORD, &notAList, sizeof notAList);
        EXPECT_EQ(Uninstalled(), Outcome("", NULL, " will be deleted the next time setup or the uninstaller runs."));
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations");
        if (there != "the copy")
            WriteFileBytes(TempCopy(), there);
        Installer{};
        EXPECT_EQ(FileExists(TempCopy()) ? ReadFileBytes(TempCopy()) : "", there == "the copy" ? "" : there);
        EXPECT_FALSE(Recorded("LeftCopy")) << there;
    }

    WriteFileBytes(TempCopy(), "someone's own");
    HANDLE held = CreateFileA(TempCopy().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    for (std::string folder : {temp, "D:\\" + std::string(247, 't') + "\\", FreshFolder(std::string(227, 'u'))}) {
        SetEnvironmentVariableA("TMP", folder.c_str());
        if (folder.size() == 230) {
            EXPECT_EQ(Confirm(StartFirstStage(copy)), "Success!\nThe uninstaller's temporary copy will be deleted after reboot.");
            continue;
        }
        Process first(copy);
        HWND box = WaitForBox(first.Id(), Caption);
        EXPECT_EQ(MessageBoxText(box), "The uninstall of Ambit Knob cannot start. Nothing was removed.") << folder;
        Click(box, IDOK);
        EXPECT_EQ(first.Wait(), 0u);
        EXPECT_FALSE(BoxBesides(first.Id(), 1500)) << folder << ": something was started";
    }
    SetEnvironmentVariableA("TMP", temp.c_str());
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(TempCopy()), "someone's own");
}

// Whatever setup accepted, the uninstaller removes: the longest destination in a Programs folder
// whose shortcuts come near the limit too, and folders reached through a second drive letter or a
// link, which stay with what they hold besides. A link inside the installation is never followed: Wine resolves every link
// before deleting, so that none can be removed as a link, and there the folder stays untouched.
TEST_F(Uninstall, RemovesWhatSetupAcceptedButNeverFollowsALinkInside)
{
    std::string longest = FreshFolder("long") + "\\" + std::string(245 - 8, 'k'), target = FreshFolder("link-target");
    std::string inside = FreshFolder("link-inside") + "\\AmbitKnob", elsewhere = FreshFolder("link-outside");
    WriteFileBytes(target + "\\keep.txt", "beside the installation");
    WriteFileBytes(elsewhere + "\\keep.txt", "outside the installation");
    ASSERT_TRUE(MakeLink("D:\\via-link", target));
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", FreshFolder("p" + std::string(224, 'p')));
    // A second drive letter, as SUBST makes one: under Wine a second drive link in the prefix.
    std::string drives = HostPath(BuildPath("wine\\prefix\\dosdevices")) + "/s:", substituted = FreshFolder("subst-target");
    WinExec(("\\\\?\\unix/bin/ln -s \"" + HostPath(substituted) + "\" \"" + drives + "\"").c_str(), 0);
    ASSERT_TRUE(WaitUntil([] { return FolderExists("S:\\"); }, 5000)) << "no second drive letter";
    for (std::string dir : {longest, longest.substr(0, 242), std::string("D:\\via-link\\AmbitKnob"), std::string("S:\\AmbitKnob")}) {
        EXPECT_EQ(InstalledAndUninstalled(dir), Outcome());
        EXPECT_FALSE(FolderExists(dir) || FolderExists(Group())) << dir;
    }
    EXPECT_EQ(FolderEntries("D:\\via-link"), Names{"keep.txt"});
    // An installation whose drive letter is gone, or that was moved, is not found, says so, and
    // keeps its record for a run that finds it again.
    std::string moved = FreshFolder("moved") + "\\AmbitKnob";
    ASSERT_TRUE(Install("S:\\AmbitKnob", false) && Install(moved, false) && MoveFileA(moved.c_str(), (moved + "2").c_str()));
    EXPECT_EQ(Uninstalled(), Outcome(moved, NotFound));
    Record("S:\\AmbitKnob", "S:\\AmbitKnob");
    WinExec(("\\\\?\\unix/bin/rm \"" + drives + "\"").c_str(), 0);
    ASSERT_TRUE(WaitUntil([] { return !FolderExists("S:\\"); }, 5000));
    EXPECT_EQ(Uninstalled(), Outcome("S:\\AmbitKnob", NotFound));
    EXPECT_EQ(Recorded("OwnedDir"), "S:\\AmbitKnob");
    ExpectInstalled(substituted + "\\AmbitKnob");
    ExpectInstalled(moved + "2");

    ASSERT_TRUE(Install(inside, true));
    ASSERT_TRUE(MakeLink(inside + "\\linked-folder", elsewhere) && MakeLink(inside + "\\linked-file.txt", elsewhere + "\\keep.txt"));
    EXPECT_EQ(Confirm(StartFirstStage(inside + "\\uninstal.exe")), Outcome(inside, NotRemoved));
    EXPECT_TRUE(FileExists(elsewhere + "\\keep.txt"));
    EXPECT_FALSE(FolderExists(Group())) << "the group is removed on its own";
    EXPECT_EQ(FolderEntries(inside), (Names{"ak.exe", "cindertop.url", "file_id.diz", "license.txt", "linked-file.txt",
                                            "linked-folder", "readme.txt", "uninstal.exe"}));
}

// Of two running products one is closed; one that never answers does not hold the uninstall up.
TEST_F(Uninstall, ClosesOneRunningProductAndWaitsNotForAHungOne)
{
    Process one(BuildPath("ak.exe")), two(BuildPath("ak.exe"));
    ASSERT_TRUE(WaitForWindow(one.Id(), "SimpleClass", NULL) && WaitForWindow(two.Id(), "SimpleClass", NULL));
    EXPECT_EQ(Uninstalled(), Outcome());
    EXPECT_TRUE(WaitUntil([&] { return one.Wait(0) || two.Wait(0); }, 3000));
    EXPECT_FALSE(WaitUntil([&] { return one.Wait(0) && two.Wait(0); }, 1000)) << "both were closed";
    one.Kill();
    two.Kill();
    // A killed program's window can outlast it a moment; the uninstaller must find the stand-in's.
    ASSERT_TRUE(WaitUntil([] { return FindWindowA("SimpleClass", NULL) == NULL; }));
    ResetEvent(g_release);
    HANDLE hung = StartStandIn();
    DWORD start = GetTickCount();
    EXPECT_EQ(Uninstalled(), Outcome());
    EXPECT_LT(GetTickCount() - start, 15000u);
    SetEvent(g_release);
    EXPECT_EQ(WaitForSingleObject(hung, 5000), WAIT_OBJECT_0);
}

// A folder the installer did not make loses only the carried files, and goes only when nothing
// else is left: one that held other files before the install (though an older record claimed it),
// and ones recorded by hand, their "OwnedDir" naming another folder. The program group, there
// before with a shortcut of the user's, loses only the installer's shortcuts.
TEST_F(Uninstall, FolderTheInstallerDidNotMakeLosesOnlyTheCarriedFiles)
{
    std::string tools = FreshFolder("Tools");
    WriteFileBytes(tools + "\\other-tool.exe", "someone else's program");
    SHCreateDirectoryExA(NULL, Group().c_str(), NULL);
    WriteFileBytes(Group() + "\\mine.lnk", "the user's own");
    Record(tools, tools);
    EXPECT_EQ(InstalledAndUninstalled(tools), Outcome(tools + "\n    " + HoldsOthers + "\n" + Group(), HoldsOthers));
    EXPECT_EQ(FolderEntries(tools), Names{"other-tool.exe"});
    EXPECT_EQ(FolderEntries(Group()), Names{"mine.lnk"});
    EXPECT_EQ(Recorded("InstallDir"), tools) << "the record of a kept folder went";
    RemoveScratch(Group());
    // What stays says why: a folder of the user's, or a carried file that another program holds.
    struct Case {
        std::string left;
        const char* reason;
    } cases[] = {{"data", HoldsOthers}, {"ak.exe", NotRemoved}, {"", NULL}};
    for (const Case& c : cases) {
        std::string dir = FreshFolder("by-hand-" + c.left);
        for (const char* name : CarriedNames)
            WriteFileBytes(dir + "\\" + name, CarriedFile(name));
        if (c.left == "data")
            SHCreateDirectoryExA(NULL, (dir + "\\data").c_str(), NULL);
        HANDLE held = c.left == "ak.exe" ? CreateFileA((dir + "\\ak.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                                         : INVALID_HANDLE_VALUE;
        Record(dir, tools);
        EXPECT_EQ(Uninstalled(), Outcome(dir, c.reason));
        CloseHandle(held);
        EXPECT_EQ(FolderEntries(dir), c.left.empty() ? Names{} : Names{c.left});
        EXPECT_EQ(FolderExists(dir), !c.left.empty());
    }
}

// Whatever the registry records, nothing outside the installation goes. Each folder is recorded as
// the installation's own, and sentinels (each beside an "ak.exe", so that only the rule under test
// can save them) stay wherever a wrong reading of the record would delete. The program group,
// remade before each case, goes when the Programs folder is the usual one.
TEST_F(Uninstall, GuardKeepsEverythingOutsideTheInstallation)
{
    std::string temp = TempFolder(), profile = ShellFolder(FOLDERID_Profile), users = profile.substr(0, profile.find_last_of('\\'));
    std::string device = FreshFolder("guard-device"), hostDevice = HostPath(device), foreign = FreshFolder("guard-foreign");
    std::string linked = FreshFolder("guard-linked") + "\\inner", sibling = FreshFolder("guard-sibling"), group = programs_ + "\\Ambit Knob";
    std::replace(hostDevice.begin(), hostDevice.end(), '/', '\\');
    WriteFileBytes(foreign + "\\notes.txt", "mine, and no product beside it");
    SHCreateDirectoryExA(NULL, linked.c_str(), NULL);
    ASSERT_TRUE(MakeLink("D:\\guard-link", linked) && MakeLink("D:\\guard-sibling-link", sibling));
    std::string programs64(MAX_PATH, '\0');
    programs64.resize(GetEnvironmentVariableA("ProgramW6432", programs64.data(), MAX_PATH));
    // A user's folder redirected to one that is not there (offline, say) is still theirs.
    const char* userShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::string documents = ReadString(HKEY_CURRENT_USER, userShellFolders, "Personal").value_or(""), redirected = FreshFolder("guard-redirected");
    WriteString(HKEY_CURRENT_USER, userShellFolders, "Personal", redirected + "\\Documents");
    // 254 characters with the separator: "Ambit Knob" does not fit behind them.
    std::string longPrograms = "D:\\" + std::string(250, 'P');
    struct Case {
        std::string recorded;
        Names sentinels;
        const char* reason;  // none: the uninstall succeeds
        std::string programs = "";
    };
    std::vector<Case> cases = {
        {"C:\\", {"C:"}, RefusedSystem},
        {"D:\\guard-up\\..\\..", {"D:"}, RefusedSystem},
        {profile + "\\", {profile}, RefusedSystem},
        {users, {users}, RefusedSystem},
        {profile + "\\AppData", {profile + "\\AppData"}, RefusedSystem},
        {temp, {temp.substr(0, temp.size() - 1)}, RefusedSystem},
        {programs64, {programs64}, RefusedSystem},
        {"AmbitKnob", {cwd_ + "\\AmbitKnob", temp + "AmbitKnob"}, RefusedForeign},
        {"D:AmbitKnob", {cwd_ + "\\AmbitKnob", "D:\\AmbitKnob", temp + "AmbitKnob"}, RefusedForeign},
        {"\\AmbitKnob", {"D:\\AmbitKnob", "C:\\AmbitKnob", cwd_ + "\\AmbitKnob"}, RefusedForeign},
        {"\\\\?\\" + device, {device}, RefusedForeign},
        {"\\\\.\\" + device, {device}, RefusedForeign},
        {"\\\\?\\unix" + hostDevice, {device}, RefusedForeign},
        {"D:\\guard-link", {linked}, RefusedForeign},
        {"D:\\guard-sibling-link", {sibling}, RefusedForeign},
        {foreign, {}, RefusedForeign},
        {redirected, {redirected}, RefusedSystem},
        {"", {cwd_}, NULL},
        {FreshFolder("vanished") + "\\AmbitKnob", {cwd_}, NotFound},
        {"", {cwd_ + "\\Ambit Knob", temp + "Ambit Knob"}, NULL, "-"},
        {"", {cwd_ + "\\Start Menu\\Programs\\Ambit Knob", temp + "Start Menu\\Programs\\Ambit Knob"}, NULL, "Start Menu\\Programs"},
        {"", {}, NotRemoved, longPrograms},
    };
    // The system's folders, the WOW64 ones of either package, and each of a user's; SendTo and
    // Downloads only the known-folder manager lists.
    for (auto id : {&FOLDERID_Windows, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_SystemX86, &FOLDERID_Pictures, &FOLDERID_Music, &FOLDERID_Videos, &FOLDERID_Downloads,
                    &FOLDERID_Favorites, &FOLDERID_SendTo, &FOLDERID_PublicMusic})
        cases.push_back({ShellFolder(*id), {ShellFolder(*id)}, RefusedSystem});
    for (const Case& c : cases) {
        SCOPED_TRACE("InstallDir \"" + c.recorded + "\", Programs \"" + c.programs + "\"");
        for (const std::string& folder : c.sentinels) {
            // A folder the system did not name would put the sentinel on the build tree's drive.
            ASSERT_FALSE(folder.empty());
            SHCreateDirectoryExA(NULL, folder.c_str(), NULL);
            WriteFileBytes(folder + "\\ak.exe", "sentinel");
            WriteFileBytes(folder + "\\keep.txt", "sentinel");
        }
        Record(c.recorded, c.recorded);
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", c.programs.empty() ? programs_ : c.programs == "-" ? "" : c.programs);
        SHCreateDirectoryExA(NULL, group.c_str(), NULL);
        EXPECT_EQ(Uninstalled(), Outcome(c.programs.empty() ? c.recorded : c.programs + "\\Ambit Knob", c.reason));
        EXPECT_EQ(FolderExists(group), !c.programs.empty());
        for (const std::string& folder : c.sentinels)
            EXPECT_TRUE(FileExists(folder + "\\ak.exe") && FileExists(folder + "\\keep.txt")) << folder;
    }
    EXPECT_TRUE(FileExists(foreign + "\\notes.txt"));
    WriteString(HKEY_CURRENT_USER, userShellFolders, "Personal", documents);
}

// A folder that was there before the install was the user's: one made empty for games, filled only
// afterwards, and one holding only a copy of the uninstaller and a file whose name the ANSI code
// page spells as the readme's. The uninstall takes the six files and keeps the folder with the
// user's file.
TEST_F(Uninstall, FolderThatWasThereBeforeKeepsTheUsersFiles)
{
    for (std::wstring mine : {L"saved.game", L"\x0155" L"eadme.txt"}) {
        std::string dir = FreshFolder(mine[0] == L's' ? "games" : "best-fit");
        std::wstring file = std::wstring(dir.begin(), dir.end()) + L"\\" + mine;
        auto write = [&] { CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL)); };
        if (mine[0] != L's') {
            write();
            WriteFileBytes(dir + "\\uninstal.exe", CarriedFile("uninstal.exe"));
        }
        ASSERT_TRUE(Install(dir, true));
        EXPECT_EQ(Recorded("OwnedDir"), "");
        write();
        EXPECT_EQ(Confirm(StartFirstStage(dir + "\\uninstal.exe")), Outcome(dir, HoldsOthers));
        EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(FolderEntries(dir).size(), 1u);
    }
}

}  // namespace
