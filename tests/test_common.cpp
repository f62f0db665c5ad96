// The path buffer's edits at and across the 259-character bound, which paths count as full ones,
// registry text as both programs read it, how entries are judged and deleted, where the temporary
// copies lie and go, and what an elevated run protects and how it opens files.
#include "../common/elevation.h"
#include "../common/identity.h"
#include "../common/pathbuf.h"
#include "../common/registry.h"
#include "../common/text.h"
#include "../common/leftcopy.h"
#include "../common/ownfile.h"
#include "../common/record.h"
#include "guard.h"
#include "removal.h"
#include "tempcopy.h"
#include "../setup/elevated.h"
#include "../setup/launch.h"
#include "driver.h"

#include <sddl.h>

// The buffer after `edit` on `before`, with '#' behind the text so that a missing terminator shows;
// "refused" when the edit refused, which must leave the buffer as it was.
static std::string Edited(const std::string& before, bool (*edit)())
{
    memset(PathBuffer, '#', sizeof PathBuffer);
    memcpy(PathBuffer, before.c_str(), before.size() + 1);
    bool done = edit();
    std::string after(PathBuffer, strnlen(PathBuffer, sizeof PathBuffer));
    EXPECT_LT(after.size(), sizeof PathBuffer) << "buffer not terminated";
    EXPECT_TRUE(done || after == before) << "a refused edit changed the buffer";
    return done ? after : "refused";
}

TEST(PathBuffer, EditsUpToTheBoundAndNoFurther)
{
    bool (*appendNine)() = [] { return AppendToPath("123456789"); };
    bool (*strip)() = [] { return StripTrailingSeparator(), true; };
    EXPECT_EQ(Edited("C:", EnsureTrailingSeparator), "C:\\");
    EXPECT_EQ(Edited("C:\\", EnsureTrailingSeparator), "C:\\");
    EXPECT_EQ(Edited("", EnsureTrailingSeparator), "");
    EXPECT_EQ(Edited(PathOfLength(258), EnsureTrailingSeparator), PathOfLength(258) + "\\");
    EXPECT_EQ(Edited(PathOfLength(259), EnsureTrailingSeparator), "refused");
    EXPECT_EQ(Edited("D:", ApplyProductSuffix), "D:\\AmbitKnob");
    EXPECT_EQ(Edited("D:\\x\\AMBITKNOB", ApplyProductSuffix), "D:\\x\\AMBITKNOB");
    EXPECT_EQ(Edited("D:\\xAmbitKnob", ApplyProductSuffix), "D:\\xAmbitKnob\\AmbitKnob");
    EXPECT_EQ(Edited(PathOfLength(249), ApplyProductSuffix), PathOfLength(249) + "\\AmbitKnob");
    EXPECT_EQ(Edited(PathOfLength(250), ApplyProductSuffix), "refused");
    EXPECT_EQ(Edited(PathOfLength(259, "\\ambitknob"), ApplyProductSuffix), PathOfLength(259, "\\ambitknob"));
    EXPECT_EQ(Edited(PathOfLength(250), appendNine), PathOfLength(250) + "123456789");
    EXPECT_EQ(Edited(PathOfLength(251), appendNine), "refused");
    EXPECT_EQ(Edited("D:\\x\\\\", strip), "D:\\x\\");
    EXPECT_EQ(Edited("", strip), "");
}

TEST(PathBuffer, FullPathsAreDriveOrSharePathsButNoDevicePaths)
{
    for (const char* good : {"C:\\", "c:\\AmbitKnob", "D:\\A\\B\\C\\", "\\\\server\\share", "\\\\server\\share\\dir"})
        EXPECT_TRUE(IsFullyQualifiedPath(good)) << good;
    for (const char* bad :
         {"", "AmbitKnob", "C:AmbitKnob", "C:", "\\AmbitKnob", "\\\\", "\\\\server", "\\\\server\\", "\\\\\\share",
          "1:\\x", ".\\x", "\\\\?\\D:\\x", "\\\\.\\D:\\x", "\\\\./D:\\x", "\\\\?\\UNC\\server\\share"})
        EXPECT_FALSE(IsFullyQualifiedPath(bad)) << bad;
}

// An elevated uninstaller opens only drive paths from the records, and names a drive it cannot see.
static UINT WINAPI OnlyQUnseen(LPCWSTR root) { return lstrcmpW(root, L"Q:\\") == 0 ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED; }

TEST(PathBuffer, ElevatedRunsOpenOnlyDrivePathsOnDrivesTheySee)
{
    for (const WCHAR* local : {L"C:\\", L"q:\\AmbitKnob"})
        EXPECT_TRUE(IsLocalFullPath(local));
    for (const WCHAR* other : {L"\\\\server\\share\\AK", L"\\\\?\\C:\\AK", L"\\\\.\\C:\\AK", L"C:AK", L"\\AK", L""})
        EXPECT_FALSE(IsLocalFullPath(other)) << std::wstring(other).size();
    EXPECT_EQ(UnseenDriveLetter(true, L"Q:\\AmbitKnob", OnlyQUnseen), L'Q');
    EXPECT_EQ(UnseenDriveLetter(false, L"Q:\\AmbitKnob", OnlyQUnseen), 0);
    EXPECT_EQ(UnseenDriveLetter(true, L"C:\\AmbitKnob", OnlyQUnseen), 0);
}

// Only terminated text that fits the buffer is read; anything else leaves the buffer empty.
TEST(Registry, ReadsOnlyTextThatFits)
{
    const char* key = "Software\\Cindertop\\AmbitKnobTests";
    const wchar_t* wideKey = L"Software\\Cindertop\\AmbitKnobTests";
    struct Case {
        DWORD type;
        std::string stored; // the terminator included where there is one
        const char* read;   // what the buffer then holds, or NULL for a failed read
    } cases[] = {
        {REG_SZ, std::string("D:\\Tools\\AmbitKnob") + '\0', "D:\\Tools\\AmbitKnob"},
        {REG_SZ, std::string(1, '\0'), ""},
        {REG_EXPAND_SZ, std::string("%TEMP%\\x") + '\0', "%TEMP%\\x"},
        {REG_SZ, PathOfLength(259) + '\0', "259"},
        {REG_SZ, PathOfLength(260) + '\0', NULL},
        {REG_SZ, std::string(260, 'a'), NULL},
        {REG_DWORD, "ABNK", NULL},
        {REG_BINARY, std::string("C:\\x") + '\0', NULL},
        {REG_NONE, "", NULL}, // no value, nor a key
    };
    for (const Case& c : cases) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key);
        if (c.type != REG_NONE)
            RegSetKeyValueA(HKEY_CURRENT_USER, key, "v", c.type, c.stored.data(), (DWORD)c.stored.size());
        strcpy(PathBuffer, "old text");
        EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, wideKey, L"v"), c.read != NULL) << c.stored;
        EXPECT_EQ(PathBuffer, c.read == NULL ? "" : strcmp(c.read, "259") ? c.read : PathOfLength(259)) << c.stored;
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

// The count a text is written with. The system adds a terminator the count left out, so only the
// call tells: this program's import of it is pointed here while the text is written.
static DWORD s_counted;
static LONG WINAPI CountedSetValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD cb)
{
    return s_counted = cb, ERROR_SUCCESS;
}

TEST(Registry, TextIsWrittenWithItsTerminatorCounted)
{
    auto at = [base = (BYTE*)GetModuleHandleA(NULL)](DWORD offset) { return base + offset; };
    auto nt = (IMAGE_NT_HEADERS*)at(((IMAGE_DOS_HEADER*)at(0))->e_lfanew);
    auto dll =
        (IMAGE_IMPORT_DESCRIPTOR*)at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; dll->Name; dll++)
        for (auto name = (IMAGE_THUNK_DATA*)at(dll->OriginalFirstThunk), slot = (IMAGE_THUNK_DATA*)at(dll->FirstThunk);
             name->u1.AddressOfData; name++, slot++)
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                !strcmp((char*)((IMAGE_IMPORT_BY_NAME*)at(name->u1.AddressOfData))->Name, "RegSetValueExW")) {
                DWORD was;
                ULONG_PTR system = slot->u1.Function;
                VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was),
                    slot->u1.Function = (ULONG_PTR)CountedSetValue;
                EXPECT_TRUE(
                    WriteRegistryString(HKEY_CURRENT_USER, L"Software\\Cindertop\\AmbitKnobTests", L"v", L"D:\\AK"));
                slot->u1.Function = system;
            }
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnobTests");
    EXPECT_EQ(s_counted, 6 * sizeof(WCHAR)) << "the terminator is not counted";
}

// An entry is opened as itself, judged by its bytes and deleted through that one handle: a
// read-only file goes, a folder only when it is empty, and the system's own answer says whether it
// went. SHA-256 as its standard vectors give it.
TEST(OwnFiles, JudgedAndDeletedThroughOneHandle)
{
    std::string dir = FreshFolder("own-files");
    std::wstring wide = L"D:\\own-files";
    WriteFileBytes(dir + "\\file.txt", "abc");
    SetFileAttributesA((dir + "\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SHCreateDirectoryExA(NULL, (dir + "\\full\\inner").c_str(), NULL);
    FileDigest abc, other, million;
    ASSERT_TRUE(DigestBytes((const BYTE*)"abc", 3, &abc) && DigestBytes((const BYTE*)"abd", 3, &other));
    // The standard vectors, whole; a million bytes cross the file reader's chunks many times over.
    auto hex = [](const FileDigest& d) {
        char text[65];
        for (int i = 0; i < 32; i++)
            sprintf(text + 2 * i, "%02x", d.sha256[i]);
        return std::to_string(d.size) + ":" + text;
    };
    EXPECT_EQ(hex(abc), "3:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    WriteFileBytes(dir + "\\million", std::string(1000000, 'a'));
    HANDLE large =
        CreateFileA((dir + "\\million").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_TRUE(DigestOpenFile(large, &million));
    CloseHandle(large);
    DeleteFileA((dir + "\\million").c_str());
    EXPECT_EQ(hex(million), "1000000:cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    OpenedFile file;
    EXPECT_EQ(OpenAsItself((wide + L"\\missing").c_str(), false, true, &file), OPEN_ABSENT);
    EXPECT_EQ(OpenAsItself((wide + L"\\full").c_str(), false, true, &file), OPEN_NOT_PLAIN);
    EXPECT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), true, true, &file), OPEN_NOT_PLAIN);
    HANDLE held =
        CreateFileA((dir + "\\file.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), false, true, &file), OPEN_HELD);
    CloseHandle(held);
    ASSERT_EQ(OpenAsItself((wide + L"\\file.txt").c_str(), false, true, &file), OPENED);
    EXPECT_FALSE(HoldsDigest(&file, &other));
    EXPECT_TRUE(HoldsDigest(&file, &abc));
    EXPECT_TRUE(DeleteOpenEntry(&file));
    CloseHandle(file.handle);
    EXPECT_FALSE(FileExists(dir + "\\file.txt"));
    for (const char* folder : {"full", "full\\inner", "full"}) {
        std::string path = dir + "\\" + folder;
        bool empty = FolderEntries(path).empty();
        ASSERT_EQ(OpenAsItself(std::wstring(path.begin(), path.end()).c_str(), true, true, &file), OPENED) << folder;
        EXPECT_EQ(DeleteOpenEntry(&file), empty) << folder;
        CloseHandle(file.handle);
        EXPECT_EQ(FolderExists(path), !empty) << folder;
    }
}

// A folder's identity is its volume and its 128-bit id, else the 64-bit index; an id of zero is no
// identity. A record with an identity applies to that folder under any name and to no other; at its
// own name a folder of another identity makes it stale. An earlier version's record applies by name.
TEST(Records, ApplyByTheFoldersIdentity)
{
    FILE_ID_INFO wide = {7};
    BY_HANDLE_FILE_INFORMATION narrow = {};
    FileIdentity zero, one, high, indexed;
    EXPECT_FALSE(MakeIdentity(&wide, &narrow, &zero));
    EXPECT_FALSE(MakeIdentity(NULL, &narrow, &zero));
    wide.FileId.Identifier[0] = 1;
    ASSERT_TRUE(MakeIdentity(&wide, &narrow, &one));
    wide.FileId.Identifier[15] = 1;
    ASSERT_TRUE(MakeIdentity(&wide, &narrow, &high));
    EXPECT_FALSE(SameIdentity(&one, &high)) << "only 64 of the 128 bits compared";
    narrow.nFileIndexHigh = 1;
    ASSERT_TRUE(MakeIdentity(NULL, &narrow, &indexed));
    EXPECT_FALSE(SameIdentity(&indexed, &zero));

    InstallationRecord record = {}, legacy = {};
    record.identity = one;
    EXPECT_TRUE(RecordApplies(&record, L"D:\\Knobs", L"E:\\Knobs", &one)) << "another spelling of the folder";
    EXPECT_FALSE(RecordApplies(&record, L"D:\\Knobs", L"D:\\Knobs", &high)) << "a new folder at the recorded name";
    EXPECT_TRUE(RecordApplies(&record, L"D:\\Knobs", L"D:\\Knobs", NULL)) << "moved away, or its drive gone";
    EXPECT_FALSE(RecordApplies(&record, L"D:\\Knobs", L"E:\\Knobs", NULL));
    EXPECT_TRUE(RecordIsStale(&record, L"D:\\Knobs", L"d:\\knobs", &high));
    EXPECT_FALSE(RecordIsStale(&record, L"D:\\Knobs", L"D:\\Knobs", NULL)) << "a drive not there is no new folder";
    EXPECT_FALSE(RecordIsStale(&record, L"D:\\Knobs", L"D:\\Other", &high));
    EXPECT_TRUE(RecordApplies(&legacy, L"D:\\Knobs", L"d:\\KNOBS", &high));
    EXPECT_FALSE(RecordIsStale(&legacy, L"D:\\Knobs", L"D:\\Knobs", &high));
}

// Whatever a forged record claims setup created, no drive, profile, Programs, temporary, system
// or other folder the system lists goes, nor one that holds such a folder; any other folder may.
TEST(Guard, KeepsDrivesAndTheSystemsAndUsersFolders)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> guarded = {L"D:\\", L"C:\\windows\\system32", L"C:\\users", temp};
    for (const KNOWNFOLDERID& id : {FOLDERID_Profile, FOLDERID_Programs, FOLDERID_Downloads, FOLDERID_SavedGames}) {
        WCHAR* path = NULL;
        ASSERT_EQ(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, NULL, &path), S_OK);
        guarded.push_back(path);
        CoTaskMemFree(path);
    }
    for (const std::wstring& folder : guarded) {
        std::wstring plain = folder.substr(0, folder.size() > 3 ? folder.find_last_not_of(L'\\') + 1 : 3);
        EXPECT_TRUE(IsGuardedFolder(plain.c_str(), plain.c_str())) << HostPath(plain);
    }
    // The user's Programs value, which asking the system for its folders rewrites, stays as it was.
    FreshFolder("plain\\inner");
    for (const char* programs : {"D:\\plain", ""}) {
        if (*programs)
            RegSetKeyValueA(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", REG_SZ, programs, strlen(programs) + 1);
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, ShellFoldersKey, "Programs");
        EXPECT_FALSE(IsGuardedFolder(L"D:\\plain\\inner", L"D:\\plain\\inner"));
        EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or(""), programs);
    }
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", std::string(guarded[5].begin(), guarded[5].end()));
}

// Only what is the package's own keeps the record: a file held, deleted but still listed, or that
// could not be told; the user's files and another installation's shortcuts do not.
TEST(Removal, OnlyThePackagesOwnKeepsTheRecord)
{
    struct Case {
        LeftEntries left;
        Kept why;
        bool keeps;
    } cases[] = {
        {{true, true, false, false, false}, KEPT_OTHERS, false},
        {{false, true, false, false, false}, KEPT_OTHER_INSTALLATION, false},
        {{true, false, true, false, false}, KEPT_PENDING, true},
        {{true, false, true, true, false}, KEPT_UNTOLD, true},
        {{false, false, true, true, true}, KEPT_HELD, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WhyStays(&c.left), c.why);
        EXPECT_EQ(KeepsRecord(WhyStays(&c.left)), c.keeps) << c.why;
    }
}

// Where a program lies for the uninstaller: its temporary copy is "uninstall.exe" directly in a
// folder of its own directly in the temporary folder, or at the earlier versions' fixed name. The
// system deletes a copy at restart, and then its folder, only where that folder keeps others out.
static std::wstring s_moved;
static BOOL WINAPI RecordMove(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    s_moved += std::wstring(from) + (to == NULL && flags == MOVEFILE_DELAY_UNTIL_REBOOT ? L"|" : L"?|");
    return TRUE;
}

TEST(TemporaryCopy, PlaceAndRestartDeletion)
{
    const std::wstring temp = L"C:\\Users\\Jo\\Temp", copy = temp + L"\\AmbitKnob-Uninstall-0A1B2C3D\\uninstall.exe";
    // clang-format off: cases side by side
    struct Case {
        std::wstring path;
        CopyPlace place;
    } cases[] = {
        {copy, PLACE_OWN_FOLDER},
        {L"c:\\users\\jo\\temp\\ambitknob-uninstall-7\\UNINSTALL.EXE", PLACE_OWN_FOLDER},
        {temp + L"\\uninstall.exe", PLACE_FIXED_NAME},
        {temp + L"\\AmbitKnob-Uninstall-\\uninstall.exe", PLACE_ELSEWHERE},
        {temp + L"\\AmbitKnob-Uninstall-1\\x\\uninstall.exe", PLACE_ELSEWHERE},
        {temp + L"\\AmbitKnob-Uninstall-1\\uninstal.exe", PLACE_ELSEWHERE},
        {temp + L"\\Other\\uninstall.exe", PLACE_ELSEWHERE},
        {temp + L"2\\uninstall.exe", PLACE_ELSEWHERE},
        {temp + L"\\xuninstall.exe", PLACE_ELSEWHERE},
        {L"D:\\uninstall.exe", PLACE_ELSEWHERE},
        {L"uninstall.exe", PLACE_ELSEWHERE},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(GetCopyPlace(c.path.c_str(), temp.c_str()), c.place) << std::string(c.path.begin(), c.path.end());
    EXPECT_FALSE(DeleteCopyAtRestart(copy.c_str(), false, RecordMove));
    EXPECT_EQ(s_moved, L"");
    EXPECT_TRUE(DeleteCopyAtRestart(copy.c_str(), true, RecordMove));
    EXPECT_TRUE(s_moved == copy + L"|" + temp + L"\\AmbitKnob-Uninstall-0A1B2C3D|");
}

// Each run gets a new copy folder, which nobody may rename or delete while the run holds it.
TEST(TemporaryCopy, EachRunHoldsAFolderOfItsOwn)
{
    std::string dir = FreshFolder("copy-folders");
    WCHAR copies[2][MAX_PATH];
    HANDLE held[2] = {MakeCopyFolder(L"D:\\copy-folders", false, copies[0]),
                      MakeCopyFolder(L"D:\\copy-folders", false, copies[1])};
    Names folders = FolderEntries(dir);
    ASSERT_EQ(folders.size(), 2u);
    for (int i = 0; i < 2; i++) {
        std::wstring path = copies[i], folder = path.substr(0, path.rfind(L'\\'));
        EXPECT_NE(held[i], INVALID_HANDLE_VALUE);
        EXPECT_TRUE(path ==
                    L"D:\\copy-folders\\" + std::wstring(folders[i].begin(), folders[i].end()) + L"\\uninstall.exe");
        EXPECT_EQ(folders[i].size(), 28u);
        EXPECT_EQ(GetCopyPlace(path.c_str(), L"D:\\copy-folders"), PLACE_OWN_FOLDER);
        EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"x").c_str()) || RemoveDirectoryW(folder.c_str()))
            << "not held";
        CloseHandle(held[i]);
        EXPECT_TRUE(MoveFileW(folder.c_str(), (folder + L"x").c_str()));
    }
}

// An elevated run's folders get the program-files folders' protection, which keeps programs without
// elevation out; a folder that inherits, is owned by a user, or lets anyone else write does not.
TEST(Elevation, ProtectedFoldersKeepOthersOut)
{
    // clang-format off: cases side by side
    struct Case {
        const WCHAR* sddl;
        bool keepsOut;
    } cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true},
        {L"O:SYD:P(A;;FA;;;SY)(D;;FA;;;WD)", true},
        {L"O:BAD:P", true},
        {L"O:BUD:P(A;OICI;FA;;;BA)", false},
        {L"O:BAD:(A;OICI;FA;;;BA)", false},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)", false},
        {L"O:BAD:P(A;;SD;;;BU)", false},
        {L"O:BAD:P(A;OICIIO;GA;;;CO)", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR security = NULL;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &security, NULL));
        EXPECT_EQ(KeepsOthersOut(security), c.keepsOut) << std::wstring(c.sddl).size();
        // A folder that inherits but lets no one else change it is no folder others can change.
        bool inherits = std::wstring(c.sddl) == L"O:BAD:(A;OICI;FA;;;BA)";
        EXPECT_EQ(SaysOthersCanChange(true, false, security), !c.keepsOut && !inherits) << std::wstring(c.sddl).size();
        EXPECT_FALSE(SaysOthersCanChange(false, false, security) || SaysOthersCanChange(true, true, security));
        LocalFree(security);
    }
    EXPECT_TRUE(SaysOthersCanChange(true, false, NULL)) << "permissions that cannot be read";
    PSECURITY_DESCRIPTOR made = MakeProtectedSecurity();
    LPWSTR text = NULL;
    ASSERT_TRUE(made && ConvertSecurityDescriptorToStringSecurityDescriptorW(made, SDDL_REVISION_1,
                                                                             DACL_SECURITY_INFORMATION, &text, NULL));
    EXPECT_TRUE(L"O:BA" + std::wstring(text) == cases[0].sddl);
    LocalFree(text), LocalFree(made);
}

// An elevated setup protects the folders it makes, but those in the program-files folders, which are
// protected already; and it names the account it installs for when that is not the signed-in user's.
TEST(Elevation, WhatSetupProtectsAndWhoFor)
{
    ProgramFolders programs = {{L"C:\\Program Files", L"C:\\Program Files (x86)\\"}, 2};
    struct Case {
        const WCHAR* folder;
        bool protect;
    } cases[] = {{L"C:\\AmbitKnob", true},
                 {L"c:\\program files", false},
                 {L"C:\\PROGRAM FILES (X86)\\A\\B", false},
                 {L"C:\\Program Files (x86)2", true},
                 {L"D:\\Program Files\\AmbitKnob", true}};
    for (const Case& c : cases) {
        EXPECT_EQ(ProtectsMadeFolder(true, c.folder, &programs), c.protect) << std::wstring(c.folder).size();
        EXPECT_FALSE(ProtectsMadeFolder(false, c.folder, &programs));
    }
    GetProgramFolders(&programs);
    EXPECT_GE(programs.count, 1);
    EXPECT_FALSE(ProtectsMadeFolder(true, (std::wstring(programs.paths[0]) + L"\\AmbitKnob").c_str(), &programs));

    BYTE one[SECURITY_MAX_SID_SIZE], two[SECURITY_MAX_SID_SIZE], same[SECURITY_MAX_SID_SIZE];
    DWORD cb = sizeof one;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, one, &cb) &&
                CreateWellKnownSid(WinBuiltinUsersSid, NULL, two, &(cb = sizeof two)) &&
                CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, same, &(cb = sizeof same)));
    EXPECT_TRUE(InstallsForOtherAccount(one, two));
    EXPECT_FALSE(InstallsForOtherAccount(one, same) || InstallsForOtherAccount(one, NULL));
    WCHAR name[MAX_PATH];
    EXPECT_FALSE(NameOtherAccount(name, MAX_PATH)) << "the test runs as the desktop's user";
}

// Setup run as the user opens files itself; elevated, only through the desktop's shell, and nothing
// at all where that shell cannot be reached. Either way the file shows in a window.
static IShellDispatch2* NoDesktop() { return NULL; }

TEST(Launch, ElevatedOnlyThroughTheDesktopShell)
{
    std::string readme = BuildPath("payload\\readme.txt");
    Launcher launcher;
    EXPECT_FALSE(PrepareLaunches(&launcher, true, NoDesktop));
    LaunchFile(&launcher, NULL, readme.c_str());
    EXPECT_FALSE(WaitForWindow(0, "Notepad", NULL, 1500)) << "opened elevated";
    ReleaseLaunches(&launcher);
    for (bool elevated : {false, true}) {
        EXPECT_TRUE(PrepareLaunches(&launcher, elevated, FindDesktopShell));
        EXPECT_EQ(launcher.desktop != NULL, elevated);
        LaunchFile(&launcher, NULL, readme.c_str());
        ReleaseLaunches(&launcher);
        HWND viewer = WaitForWindow(0, "Notepad", NULL);
        ASSERT_TRUE(viewer) << elevated;
        Process(viewer).Kill();
        EXPECT_TRUE(WaitUntil([] { return !WaitForWindow(0, "Notepad", NULL, 0); }));
    }
}

// The folders setup created go bottom-up once empty, up to one that holds the user's things; but a
// link on the way below the highest of them stops that level and all below it: nothing where the
// link leads goes, and the record stays.
TEST(Removal, ALinkOnTheWayStopsTheCreatedFolders)
{
    std::string chain = FreshFolder("chain");
    SHCreateDirectoryExA(NULL, (chain + "\\top\\mid\\inst").c_str(), NULL);
    SHCreateDirectoryExA(NULL, (chain + "\\elsewhere\\inst").c_str(), NULL);
    Host("/bin/ln -s \"" + HostPath(L"D:\\chain\\elsewhere") + "\" \"" + HostPath(L"D:\\chain\\top") + "/link\"");
    ASSERT_TRUE(WaitUntil([&] { return FolderExists(chain + "\\top\\link\\inst"); }));
    for (const char* through : {"link", "mid"}) {
        Installation installation = {};
        KeptList kept = {};
        LeftEntries run = {};
        wsprintfW(installation.folder, L"D:\\chain\\top\\%S\\inst", through);
        RemoveCreatedFolders(&installation, installation.folder, 3, &run, &kept);
        bool linked = !strcmp(through, "link");
        EXPECT_EQ(kept.packageLeft, linked) << through;
        EXPECT_EQ(std::wstring(kept.text),
                  linked ? std::wstring(installation.folder) +
                               L"\n    kept: a link on its way leads elsewhere, so it was not removed\n"
                         : L"D:\\chain\\top\n    kept: it holds files the installer did not write, or that were "
                           L"changed since\n");
    }
    EXPECT_TRUE(FolderExists(chain + "\\elsewhere\\inst")) << "removed where the link leads";
    EXPECT_EQ(FolderEntries(chain), (Names{"elsewhere", "top"})) << "the link's folder is the user's";
    EXPECT_EQ(FolderEntries(chain + "\\top"), Names{"link"});
}
