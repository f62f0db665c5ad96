// The uninstaller end to end: real installs, the two stages worked through their boxes as a user
// answers them, and sentinels wherever a wrong deletion would land: only the package's own bytes
// go, and only the folders setup made, once they are empty.
#include "driver.h"

#include <shlobj.h>

#include <algorithm>

namespace {

const char* const Caption = "Uninstalling Ambit Knob";
const char* const Question = "Are you sure you want to uninstall Ambit Knob?";
const char* const Others = "kept: it holds files the installer did not write, or that were changed since";
const char* const Held = "kept: a file of Ambit Knob in it could not be removed; another program may hold it open";
const char* const NotFound = "not found, so not removed: it was moved, or its drive is not there";
const char* const CannotStart = "The uninstall of Ambit Knob cannot start. Nothing was removed.";
const char* const SessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
const char* const InstallationsKey = "Software\\Cindertop\\AmbitKnob\\Installations";

std::string TempFolder()
{
    char path[MAX_PATH];
    return std::string(path, GetTempPathA(MAX_PATH, path));
}

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

// Under Wine, the host's name of a Windows path.
std::string HostPath(const std::string& path)
{
    auto unixName = (char*(CDECL*)(const WCHAR*))(void*)GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name");
    char* name = unixName ? unixName(std::wstring(path.begin(), path.end()).c_str()) : NULL;
    std::string host = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// A symbolic link, which Wine does not make itself: the host's "ln" makes it.
bool MakeLink(const std::string& link, const std::string& target)
{
    size_t cut = link.find_last_of('\\');
    WinExec(("\\\\?\\unix/bin/ln -s \"" + HostPath(target) + "\" \"" + HostPath(link.substr(0, cut)) + "/" + link.substr(cut + 1) + "\"").c_str(), 0);
    return WaitUntil([&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000);
}

// A running product as the uninstaller finds it, a window of its class, here on a thread of the
// test. Asked to close, it notes whether the watched file is still there, and answers only once
// g_release is set.
std::string g_watched, g_seen;
HANDLE g_release = CreateEventA(NULL, TRUE, TRUE, NULL);

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && WaitForSingleObject(g_release, INFINITE) == WAIT_OBJECT_0)
        g_seen = FileExists(g_watched) ? "present" : "absent";
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

// One folder of the last box with its reason.
std::string Left(const std::string& folder, const char* reason) { return folder + "\n    " + reason + "\n"; }

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
        EXPECT_NE(question, (HWND)NULL) << "no second stage asked";
        second_.emplace(question);
        return question;
    }
    // Answers OK and returns the text of the box that ends the second stage, which then ends with 0.
    std::string Confirm(HWND question)
    {
        if (question == NULL)
            return "(no question)";
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
    // The temporary copy started by hand: it goes by the record.
    std::string Uninstalled()
    {
        EXPECT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), TempCopy().c_str(), FALSE));
        second_.emplace(TempCopy(), "", cwd_);
        return Confirm(WaitForBox(second_->Id(), Caption));
    }
    // The last box: "Success!", or the folders left in place with their reasons; then what becomes
    // of the temporary copy.
    static std::string Outcome(const std::string& left = "", const std::string& fate = " will be deleted after reboot.")
    {
        return (left.empty() ? "Success!\n" : "Ambit Knob was not removed completely. Left in place:\n" + left +
                                                  "Nothing outside the installation was touched.\n") +
               TempCopy() + fate;
    }
    static std::string TempCopy() { return TempFolder() + "uninstall.exe"; }
    std::string Group() { return ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or("") + "\\Ambit Knob"; }
    static bool KeyExists(const char* key)
    {
        HKEY hKey;
        bool exists = RegOpenKeyA(HKEY_CURRENT_USER, key, &hKey) == ERROR_SUCCESS;
        RegCloseKey(hKey);
        return exists;
    }
    void RecordInstallation(const std::string& folder, DWORD createdLevels, DWORD foundFiles = 0)
    {
        DWORD record[2] = {createdLevels, foundFiles};
        EXPECT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, InstallationsKey, folder.c_str(), REG_BINARY, record, sizeof record), ERROR_SUCCESS);
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", folder);
    }

    std::optional<Process> second_;
    std::string cwd_ = FreshFolder("uninstall-cwd");
};

// The way a user goes, from a Cancel to the group's "Uninstall" with the product still running: the
// package's files go, a read-only one too, and the folders setup made once they are empty; what
// the user or the program put there, a readme the user edited, stays byte for byte, and so do the
// folders holding it.
TEST_F(Uninstall, PackagesOwnFilesGoTheUsersStay)
{
    std::string base = FreshFolder("own"), dir = base + "\\Games\\AmbitKnob";
    std::wstring wide = std::wstring(dir.begin(), dir.end()), deep = L"\\\\?\\" + wide;
    ASSERT_TRUE(Install(dir, true));
    // The record as the system stores it: text with its terminator.
    HKEY key;
    DWORD cb = 0;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, ProductKey, &key), ERROR_SUCCESS);
    RegQueryValueExA(key, "InstallDir", NULL, NULL, NULL, &cb);
    RegCloseKey(key);
    EXPECT_EQ(cb, dir.size() + 1);
    WriteFileBytes(dir + "\\settings.ini", "made by the product");
    SetFileAttributesA((dir + "\\settings.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((dir + "\\license.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(dir + "\\readme.txt", "edited by the user");
    // The user's deep tree stays, and a scratch folder cannot remove it: a second run finds it there.
    for (int level = 0; level < 5; level++)
        ASSERT_TRUE(CreateDirectoryW((deep += L"\\" + std::wstring(50, L'a' + level)).c_str(), NULL) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
    for (std::wstring file : {wide + L"\\\x0444\x4e2d\x00e9.txt", deep + L"\\deep.txt"})
        CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));

    HWND question = StartFirstStage(dir + "\\uninstal.exe");
    EXPECT_TRUE(ReadFileBytes(TempCopy()) == CarriedFile("uninstal.exe")) << "no copy at " << TempCopy();
    EXPECT_TRUE(RegisteredForDeletion(TempCopy()));
    EXPECT_EQ(MessageBoxText(question), Question);
    Click(question, IDCANCEL);
    EXPECT_EQ(second_->Wait(), 0u);
    EXPECT_EQ(FolderEntries(dir).size(), 9u);
    EXPECT_EQ(FolderEntries(Group()).size(), 5u);

    g_watched = dir + "\\ak.exe";
    HANDLE product = StartStandIn();
    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", (Group() + "\\uninstal.exe.lnk").c_str(), NULL, NULL, SW_SHOWDEFAULT), 32);
    second_.emplace(question = WaitForBox(0, Caption));
    EXPECT_EQ(Confirm(question), Outcome(Left(dir, Others)));
    EXPECT_EQ(WaitForSingleObject(product, 0), WAIT_OBJECT_0) << "the product was not closed";
    EXPECT_EQ(g_seen, "present") << "the product was not closed before its files went";
    EXPECT_EQ(FolderEntries(dir).size(), 4u);
    EXPECT_EQ(ReadFileBytes(dir + "\\readme.txt"), "edited by the user");
    EXPECT_EQ(ReadFileBytes(dir + "\\settings.ini"), "made by the product");
    EXPECT_NE(GetFileAttributesW((deep + L"\\deep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FolderExists(Group()));
    EXPECT_TRUE(FolderExists(programs_));
    // Nothing of the package's own is left, so neither is its record.
    EXPECT_FALSE(KeyExists(ProductKey)) << "the record outlived the package's files";

    // Installed where three levels were missing: they go again, the folder above them stays.
    std::string created = base + "\\New\\A\\B";
    ASSERT_TRUE(Install(created, false));
    EXPECT_EQ(Confirm(StartFirstStage(created + "\\uninstal.exe")), Outcome());
    EXPECT_FALSE(FolderExists(base + "\\New"));
    EXPECT_TRUE(FolderExists(base + "\\Games"));
    EXPECT_FALSE(KeyExists(ProductKey));
}

// A copy elsewhere told it is the second stage asks at once and starts no other copy; a marked copy
// inside the installation hands over after all. Where the system takes no file to delete at
// restart, the copy is recorded, and the next setup deletes it while it is the uninstaller's bytes.
// Anything else at the copy's path is someone's: the first stage starts nothing and says it cannot
// start, as it does for a temporary folder too long for the copy's name (260 characters; 259 work).
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

    for (std::string there : {"the copy", "someone's own"}) {
        ASSERT_TRUE(Install(dir, false));
        DWORD notAList = 1;
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations", REG_DWORD, &notAList, sizeof notAList);
        EXPECT_EQ(Uninstalled(), Outcome("", " will be deleted the next time setup or the uninstaller runs."));
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations");
        if (there != "the copy")
            WriteFileBytes(TempCopy(), there);
        Installer{};
        EXPECT_EQ(FileExists(TempCopy()) ? ReadFileBytes(TempCopy()) : "", there == "the copy" ? "" : there);
        EXPECT_FALSE(Recorded("LeftCopy")) << there;
    }

    // Someone's program at the copy's path is not started in its place.
    WriteFileBytes(TempCopy(), CarriedFile("ak.exe"));
    std::string fits = FreshFolder(std::string(242, 'v')), tooLong = FreshFolder(std::string(243, 'w'));
    for (std::string folder : {temp, tooLong + "\\", fits + "\\"}) {
        SetEnvironmentVariableA("TMP", folder.c_str());
        if (folder == fits + "\\") {
            EXPECT_EQ(Confirm(StartFirstStage(copy)), "Success!\n" + fits + "\\uninstall.exe will be deleted after reboot.");
            continue;
        }
        Process first(copy);
        HWND box = WaitForBox(first.Id(), Caption);
        EXPECT_EQ(MessageBoxText(box), CannotStart) << folder;
        Click(box, IDOK);
        EXPECT_EQ(first.Wait(), 0u);
        EXPECT_FALSE(BoxBesides(first.Id(), 1500)) << folder << ": something was started";
    }
    SetEnvironmentVariableA("TMP", temp.c_str());
    EXPECT_TRUE(ReadFileBytes(TempCopy()) == CarriedFile("ak.exe"));
}

// Whatever setup accepted, the uninstaller removes: the longest destination, with shortcuts near
// their limit; folders reached through a link, a second drive letter, or a destination that is a
// link itself, where the package's files go from behind it and the link stays. A carried name that
// is a link is never followed. An installation that was moved, or whose drive is gone, is not found
// and keeps its record.
TEST_F(Uninstall, RemovesWhatSetupAcceptedButNeverFollowsALinkAtACarriedName)
{
    std::string longest = FreshFolder("long") + "\\" + std::string(245 - 8, 'k'), target = FreshFolder("link-target");
    std::string linked = FreshFolder("link-dest"), inside = FreshFolder("link-inside") + "\\AmbitKnob", elsewhere = FreshFolder("link-outside");
    WriteFileBytes(target + "\\keep.txt", "beside the installation");
    ASSERT_TRUE(MakeLink("D:\\via-link", target) && MakeLink("D:\\dest-link", linked));
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", FreshFolder("p" + std::string(224, 'p')));
    // A second drive letter, as SUBST makes one: under Wine a second drive link in the prefix.
    std::string drives = HostPath(BuildPath("wine\\prefix\\dosdevices")) + "/s:", substituted = FreshFolder("subst-target");
    WinExec(("\\\\?\\unix/bin/ln -s \"" + HostPath(substituted) + "\" \"" + drives + "\"").c_str(), 0);
    ASSERT_TRUE(WaitUntil([] { return FolderExists("S:\\"); }, 5000)) << "no second drive letter";
    for (std::string dir : {longest, std::string("D:\\via-link\\AmbitKnob"), std::string("S:\\AmbitKnob"), std::string("D:\\dest-link")}) {
        ASSERT_TRUE(Install(dir, true)) << dir;
        EXPECT_EQ(Confirm(StartFirstStage(dir + "\\uninstal.exe")), Outcome()) << dir;
        EXPECT_FALSE(FolderExists(Group())) << dir;
    }
    EXPECT_FALSE(FolderExists(longest) || FolderExists("D:\\via-link\\AmbitKnob") || FolderExists("S:\\AmbitKnob"));
    EXPECT_EQ(FolderEntries("D:\\via-link"), Names{"keep.txt"});
    EXPECT_TRUE(FolderExists("D:\\dest-link") && FolderEntries(linked).empty());
    // A drive's root: the package's files go, and everything else stays.
    Names root = FolderEntries("D:\\");
    ASSERT_TRUE(Install("D:\\", false));
    EXPECT_EQ(Confirm(StartFirstStage("D:\\uninstal.exe")), Outcome(Left("D:\\", Others)));
    EXPECT_EQ(FolderEntries("D:\\"), root);

    std::string moved = FreshFolder("moved") + "\\AmbitKnob";
    ASSERT_TRUE(Install("S:\\AmbitKnob", false) && Install(moved, false) && MoveFileA(moved.c_str(), (moved + "2").c_str()));
    EXPECT_EQ(Uninstalled(), Outcome(Left(moved, NotFound)));
    WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", "S:\\AmbitKnob");
    WinExec(("\\\\?\\unix/bin/rm \"" + drives + "\"").c_str(), 0);
    ASSERT_TRUE(WaitUntil([] { return !FolderExists("S:\\"); }, 5000));
    EXPECT_EQ(Uninstalled(), Outcome(Left("S:\\AmbitKnob", NotFound)));
    EXPECT_EQ(Recorded("InstallDir"), "S:\\AmbitKnob");
    ExpectInstalled(substituted + "\\AmbitKnob");
    ExpectInstalled(moved + "2");

    // The package's own bytes behind a link at a carried name: the link is not followed.
    WriteFileBytes(elsewhere + "\\ak.exe", CarriedFile("ak.exe"));
    ASSERT_TRUE(Install(inside, true));
    ASSERT_TRUE(DeleteFileA((inside + "\\ak.exe").c_str()) && MakeLink(inside + "\\ak.exe", elsewhere + "\\ak.exe"));
    EXPECT_EQ(Confirm(StartFirstStage(inside + "\\uninstal.exe")), Outcome(Left(inside, Others)));
    EXPECT_TRUE(ReadFileBytes(elsewhere + "\\ak.exe") == CarriedFile("ak.exe"));
    EXPECT_EQ(FolderEntries(inside), Names{"ak.exe"});
}

// Of two running products one is closed; one that never answers does not hold the uninstall up.
TEST_F(Uninstall, ClosesOneRunningProductAndWaitsNotForAHungOne)
{
    Process one(BuildPath("ak.exe")), two(BuildPath("ak.exe"));
    ASSERT_TRUE(WaitForWindow(one.Id(), "SimpleClass", NULL) && WaitForWindow(two.Id(), "SimpleClass", NULL));
    std::string dir = FreshFolder("running") + "\\AmbitKnob";
    ASSERT_TRUE(Install(dir, false));
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
    ASSERT_TRUE(Install(dir, false));
    EXPECT_EQ(Uninstalled(), Outcome());
    EXPECT_LT(GetTickCount() - start, 15000u);
    SetEvent(g_release);
    EXPECT_EQ(WaitForSingleObject(hung, 5000), WAIT_OBJECT_0);
}

// What is not the package's own stays: files another tool put under carried names into a shared
// folder, a user's empty folder, a user's own copy of the program that was there before the install,
// a shortcut of the user's in the group, the thousands of files the program wrote. A carried file another program
// holds open stays with the record, and a later run removes it.
TEST_F(Uninstall, WhatIsNotThePackagesOwnStays)
{
    std::string tools = FreshFolder("Tools"), portable = FreshFolder("Portable"), filled = FreshFolder("filled") + "\\AmbitKnob";
    WriteFileBytes(tools + "\\other-tool.exe", "someone else's program");
    SHCreateDirectoryExA(NULL, Group().c_str(), NULL);
    WriteFileBytes(Group() + "\\mine.lnk", "the user's own");
    ASSERT_TRUE(Install(tools, true));
    WriteFileBytes(tools + "\\readme.txt", "another tool's readme");
    WriteFileBytes(tools + "\\license.txt", "another tool's licence");
    EXPECT_EQ(Confirm(StartFirstStage(tools + "\\uninstal.exe")), Outcome(Left(tools, Others) + Left(Group(), Others)));
    EXPECT_EQ(FolderEntries(tools), (Names{"license.txt", "other-tool.exe", "readme.txt"}));
    EXPECT_EQ(ReadFileBytes(tools + "\\readme.txt"), "another tool's readme");
    EXPECT_EQ(FolderEntries(Group()), Names{"mine.lnk"});
    RemoveScratch(Group());

    // A folder the user made, empty, before the install is theirs, and stays empty.
    std::string games = FreshFolder("games");
    ASSERT_TRUE(Install(games, false));
    EXPECT_EQ(Confirm(StartFirstStage(games + "\\uninstal.exe")), Outcome());
    EXPECT_TRUE(FolderExists(games) && FolderEntries(games).empty());

    WriteFileBytes(portable + "\\ak.exe", CarriedFile("ak.exe"));
    WriteFileBytes(portable + "\\ak.ini", "the user's settings");
    ASSERT_TRUE(Install(portable, false));
    EXPECT_EQ(Confirm(StartFirstStage(portable + "\\uninstal.exe")), Outcome(Left(portable, Others)));
    EXPECT_EQ(FolderEntries(portable), (Names{"ak.exe", "ak.ini"}));
    EXPECT_TRUE(ReadFileBytes(portable + "\\ak.exe") == CarriedFile("ak.exe"));

    ASSERT_TRUE(Install(filled, false));
    for (int i = 0; i < 4000; i++)
        WriteFileBytes(filled + "\\preset" + std::to_string(i) + ".dat", "x");
    HANDLE held = CreateFileA((filled + "\\ak.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(Uninstalled(), Outcome(Left(filled, Held)));
    EXPECT_EQ(Recorded("InstallDir"), filled) << "the record went while a file of the package stayed";
    CloseHandle(held);
    EXPECT_EQ(Uninstalled(), Outcome(Left(filled, Others)));
    EXPECT_EQ(FolderEntries(filled).size(), 4000u);
    EXPECT_FALSE(KeyExists(ProductKey)) << testing::PrintToString(Recorded("InstallDir")) << KeyExists(InstallationsKey);
}

// Whatever the registry records, it deletes nothing that is not the package's: a temporary-copy
// record naming any file, a recorded folder of another program that holds a file named like ours,
// a record claiming that setup made a drive, a user's empty folder or one of the system's. The
// group's "Uninstall" removes the installation it belongs to, not the one recorded last.
TEST_F(Uninstall, RecordsPointButNeverAuthorize)
{
    std::string sentinel = FreshFolder("forged") + "\\precious.doc", other = FreshFolder("OtherApp");
    WriteFileBytes(sentinel, "the user's document");
    WriteString(HKEY_CURRENT_USER, ProductKey, "LeftCopy", sentinel);
    ULONGLONG digest[2] = {19, 0};
    RegSetKeyValueA(HKEY_CURRENT_USER, ProductKey, "LeftCopyDigest", REG_BINARY, digest, sizeof digest);
    Installer{};
    WriteFileBytes(other + "\\uninstal.exe", "another vendor's uninstaller");
    WriteFileBytes(other + "\\data.dat", "its data");
    RecordInstallation(other, 1);
    EXPECT_EQ(Uninstalled(), Outcome(Left(other, Others)));
    EXPECT_EQ(FolderEntries(other), (Names{"data.dat", "uninstal.exe"}));
    EXPECT_EQ(ReadFileBytes(sentinel), "the user's document");

    // Empty folders a record claims: a drive, a user's redirected Documents, the system's Templates.
    const char* userShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::string documents = ReadString(HKEY_CURRENT_USER, userShellFolders, "Personal").value_or("");
    std::string redirected = FreshFolder("redirected") + "\\Documents";
    SHCreateDirectoryExA(NULL, redirected.c_str(), NULL);
    WriteString(HKEY_CURRENT_USER, userShellFolders, "Personal", redirected);
    char templates[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_TEMPLATES, NULL, 0, templates);
    for (std::string claimed : {std::string("D:\\"), redirected, std::string(templates)}) {
        SCOPED_TRACE(claimed);
        ASSERT_TRUE(FolderExists(claimed));
        RecordInstallation(claimed, 3);
        EXPECT_EQ(Uninstalled(), Outcome(claimed == "D:\\" ? Left(claimed, Others) : ""));
        EXPECT_TRUE(FolderExists(claimed));
    }
    EXPECT_TRUE(FolderExists("D:\\redirected"));
    WriteString(HKEY_CURRENT_USER, userShellFolders, "Personal", documents);

    std::string old = FreshFolder("Old") + "\\AmbitKnob", fresh = FreshFolder("New") + "\\AmbitKnob";
    ASSERT_TRUE(Install(old, true) && Install(fresh, false));
    WriteFileBytes(fresh + "\\presets.dat", "saved by the program");
    HWND question = NULL;
    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", (Group() + "\\uninstal.exe.lnk").c_str(), NULL, NULL, SW_SHOWDEFAULT), 32);
    second_.emplace(question = WaitForBox(0, Caption));
    EXPECT_EQ(Confirm(question), "Success!\nThis uninstalled Ambit Knob from\n" + old + "\nIt is still installed in\n" + fresh +
                                     "\nwhose own uninstaller removes it.\n" + TempCopy() + " will be deleted after reboot.");
    EXPECT_FALSE(FolderExists(old) || FolderExists(Group()));
    EXPECT_EQ(FolderEntries(fresh).size(), 7u);
    EXPECT_EQ(Recorded("InstallDir"), fresh);
    // The group's shortcuts lead to the installation installed last; the earlier one's uninstaller
    // leaves them to it.
    ASSERT_TRUE(Install(old, true) && Install(fresh, true));
    EXPECT_EQ(Confirm(StartFirstStage(old + "\\uninstal.exe")),
              "Success!\nThis uninstalled Ambit Knob from\n" + old + "\nIt is still installed in\n" + fresh +
                  "\nwhose own uninstaller removes it.\n" + TempCopy() + " will be deleted after reboot.");
    EXPECT_EQ(FolderEntries(Group()).size(), 5u);
}

}  // namespace
