// The install sequence: judge, record, then create and write, recording each file and shortcut as it lands.
#include "install.h"

#include "../common/elevation.h"
#include "../common/pathbuf.h"
#include "../common/registry.h"
#include "../common/shortcut.h"
#include "../common/text.h"
#include "../resources/resource.h"
#include "elevated.h"
#include "group.h"
#include "payload.h"

const FileDigest* PayloadDigest(int index)
{
    static FileDigest s_digests[PAYLOAD_COUNT];
    static bool s_taken[PAYLOAD_COUNT];
    const PayloadFile& file = PayloadSet[index];
    if (!s_taken[index])
        s_taken[index] = DigestBytes(file.content, file.length, &s_digests[index]);
    return s_taken[index] ? &s_digests[index] : NULL;
}

// Reads the destination field: only a fully qualified path that fits MAX_PATH is a place the
// installer may write to and the uninstaller can find again. A name the code page cannot hold is
// refused rather than turned into a look-alike, which may be another folder of the user's.
static bool ReadDestination(HWND dialog, char* destination, InstallAttempt* attempt)
{
    WCHAR typed[MAX_PATH + 1];
    BOOL lossy = FALSE;
    if (GetDlgItemTextW(dialog, IDC_DESTINATION, typed, MAX_PATH + 1) >= MAX_PATH)
        return false;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed, -1, destination, MAX_PATH, NULL, &lossy) == 0 ||
        lossy) {
        attempt->refusal = REFUSAL_CODE_PAGE;
        CopyWide(attempt->named, MAX_PATH, typed);
        return false;
    }
    return IsFullyQualifiedPath(destination);
}

// The levels of the folder that are not there: the folder itself and the ones above it that setup
// creates. A level whose state cannot be told counts as there.
static DWORD CountMissingLevels(const WCHAR* folder)
{
    WCHAR path[MAX_PATH];
    DWORD missing = 0;
    CopyWide(path, MAX_PATH, folder);
    while (path[0] != L'\0' && !IsRootName(path) && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES &&
           IsNotFoundError(GetLastError())) {
        missing++;
        CutToParent(path);
    }
    return missing;
}

// Creates every missing level of the folder; the files' writes tell whether it is there. An elevated
// setup closes the levels it makes outside the program-files folders to programs without elevation.
// True when it made the folder itself, rather than finding it.
static bool CreateDirectoryLevels(WCHAR* folder, bool elevated)
{
    bool made = false;
    // Static for the frame limit: the folders' names are larger than the frame allows.
    static ProgramFolders s_programs;
    SECURITY_ATTRIBUTES protection = {sizeof protection, elevated ? MakeProtectedSecurity() : NULL, FALSE};
    if (elevated)
        GetProgramFolders(&s_programs);
    for (WCHAR* p = folder + 3;; p++) {
        if (*p != L'\\' && *p != L'\0')
            continue;
        WCHAR kept = *p;
        *p = L'\0';
        bool protect = protection.lpSecurityDescriptor != NULL && ProtectsMadeFolder(elevated, folder, &s_programs);
        made = CreateDirectoryW(folder, protect ? &protection : NULL) != FALSE;
        *p = kept;
        if (kept == L'\0')
            break;
    }
    LocalFree(protection.lpSecurityDescriptor);
    return made;
}

// Whether the success box says that programs without elevation may change the folder setup found
// there, by the permissions read through the folder itself.
static bool FoundFolderLetsOthersChange(bool elevated, bool made, const WCHAR* folder)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (elevated && !made)
        handle = CreateFileW(folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    bool says = SaysOthersCanChange(elevated, made, handle != INVALID_HANDLE_VALUE ? ReadFolderSecurity(handle) : NULL);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return says;
}

// Refuses the destination for what is at `path`; always false.
static bool Refuse(InstallAttempt* attempt, Refusal refusal, const WCHAR* path)
{
    attempt->refusal = refusal;
    CopyWide(attempt->named, MAX_PATH, path);
    return false;
}

// Decides, before anything is written, which carried files setup writes (`toWrite`) and which it leaves:
// those holding the package's own bytes, the installation's own in its recorded folder and the user's
// copies anywhere else. Anything else of a carried name refuses the destination, named.
static bool JudgeFiles(InstallAttempt* attempt, DWORD* toWrite)
{
    InstallationRecord* record = &attempt->record;
    const InstallationRecord* before = &attempt->before;
    *toWrite = 0;
    // The recorded installation of an earlier version is still there when a file it wrote is; a
    // folder of its name that holds none may be one the user made again, and is theirs.
    bool earlierThere = false;
    WCHAR path[MAX_PATH];
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        DWORD bit = 1u << i;
        // A name past the longest path cannot be there, and its write fails.
        OpenedFile file;
        OpenOutcome opened =
            NameCarried(path, attempt->folder, i, L"") ? OpenAsItself(path, false, false, &file) : OPEN_ABSENT;
        if (opened == OPEN_ABSENT) {
            *toWrite |= bit;
            continue;
        }
        if (opened == OPEN_HELD)
            return Refuse(attempt, REFUSAL_HELD, path);
        const FileDigest* digest = opened == OPENED ? PayloadDigest(i) : NULL;
        Sameness same = digest != NULL ? CompareBytes(&file, digest) : BYTES_OTHER;
        if (opened == OPENED)
            CloseHandle(file.handle);
        bool setups = attempt->recorded && (before->writtenFiles & bit) && !(before->foundFiles & bit);
        if (same == BYTES_UNREAD)
            return Refuse(attempt, REFUSAL_HELD, path);
        if (same != BYTES_SAME)
            return Refuse(attempt, setups && opened == OPENED ? REFUSAL_CHANGED : REFUSAL_IN_THE_WAY, path);
        if (setups) {
            record->writtenFiles |= bit;
            earlierThere = true;
        } else {
            record->foundFiles |= bit;
        }
    }
    DWORD levels = CountMissingLevels(attempt->folder);
    if (levels == 0 && attempt->recorded && (HasIdentity(before) || earlierThere))
        levels = before->createdLevels;
    record->createdLevels = levels;
    return true;
}

// Decides which of the group's shortcuts setup writes (in `toWrite`): where no file is, or over
// one setup made for another recorded installation, which then no longer claims it. One setup made
// for this installation stays; anything else at a shortcut's name is the user's and refuses.
static bool JudgeShortcuts(InstallAttempt* attempt, DWORD* toWrite)
{
    *toWrite = 0;
    attempt->replace = 0;
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        DWORD bit = 1u << i;
        WCHAR path[MAX_PATH], target[MAX_PATH], valueName[MAX_PATH];
        OpenedFile file;
        if (SHORTCUT_DESCRIPTIONS[i] == NULL)
            continue;
        OpenOutcome opened =
            NameCarried(path, attempt->group, i, L".lnk") ? OpenAsItself(path, false, false, &file) : OPEN_ABSENT;
        if (opened == OPEN_ABSENT) {
            *toWrite |= bit;
            continue;
        }
        if (opened != OPENED)
            return Refuse(attempt, opened == OPEN_HELD ? REFUSAL_HELD : REFUSAL_IN_THE_WAY, path);
        bool setups = ReadSetupShortcut(&file, target) == i;
        CloseHandle(file.handle);
        InstallationRecord other;
        bool claimed =
            setups && FindInstallation(target, &other, valueName) && (other.shortcuts & (SHORTCUTS_UNKNOWN | bit));
        if (claimed && IsSameFolder(target, attempt->folder)) {
            attempt->record.shortcuts |= bit;
        } else if (claimed) {
            attempt->replace |= bit;
            *toWrite |= bit;
        } else {
            return Refuse(attempt, REFUSAL_IN_THE_WAY, path);
        }
    }
    return true;
}

// Judging looks at drives that may be without their disk: that must not stop "Go!" with a system
// error box. Only while judging, so that the readme viewer and the program setup starts afterwards
// inherit the usual mode.
static bool JudgeQuietly(InstallAttempt* attempt, DWORD* toWrite, DWORD* shortcutsToWrite)
{
    UINT oldMode = SetErrorMode(0);
    SetErrorMode(oldMode | SEM_FAILCRITICALERRORS);
    bool judged =
        JudgeFiles(attempt, toWrite) && (attempt->group[0] == L'\0' || JudgeShortcuts(attempt, shortcutsToWrite));
    SetErrorMode(oldMode);
    return judged;
}

// A number for the installation's list entry that no other entry or record holds.
static DWORD FreeEntryNumber()
{
    for (DWORD entry = 0;; entry++) {
        WCHAR key[ENTRY_KEY_CAPACITY], valueName[MAX_PATH];
        InstallationRecord other;
        HKEY hKey;
        NameEntryKey(entry, key);
        bool taken = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS;
        if (taken)
            RegCloseKey(hKey);
        for (DWORD index = 0; !taken && NextInstallation(&index, valueName, &other);)
            taken = other.entry == entry;
        if (!taken)
            return entry;
    }
}

// The record of the installation as it will be: its folder's identity, its place among the others
// and its list entry; stored before anything is written into the folder.
static bool BeginRecord(InstallAttempt* attempt)
{
    InstallationRecord* record = &attempt->record;
    WCHAR valueName[MAX_PATH];
    InstallationRecord other;
    // A folder whose identity the system does not give (some network redirectors) is recorded by
    // its name alone, as an earlier version recorded every folder.
    if (!GetIdentity(attempt->folder, &record->identity))
        ZeroMemory(&record->identity, sizeof record->identity);
    ForgetStaleRecords(attempt->folder);
    DWORD latest = 0;
    for (DWORD index = 0; NextInstallation(&index, valueName, &other);)
        latest = other.order > latest ? other.order : latest;
    record->order = latest + 1;
    record->entry = attempt->recorded ? attempt->before.entry : FreeEntryNumber();
    // An earlier version's record did not say who made the group's folder; it removed it when empty.
    if (attempt->before.shortcuts & (GROUP_FOLDER_CREATED | SHORTCUTS_UNKNOWN))
        record->shortcuts |= GROUP_FOLDER_CREATED;
    // Without the group this time, the shortcuts an earlier install made stay its own.
    if (attempt->group[0] == L'\0')
        record->shortcuts |= attempt->before.shortcuts & ~GROUP_FOLDER_CREATED;
    // A record under another spelling of the folder gives way to the one under its own name.
    if (attempt->recorded && !SameText(attempt->valueName, -1, attempt->folder, -1))
        ForgetInstallation(attempt->valueName);
    CopyWide(attempt->valueName, MAX_PATH, attempt->folder);
    return StoreInstallation(attempt->valueName, record);
}

// Writes a new file only, never through one that is there (a hard link, a link, another program's).
// Its handle is held, so that a failed attempt takes back exactly these bytes.
static HANDLE WritePayloadFile(const WCHAR* target, int index)
{
    const PayloadFile& file = PayloadSet[index];
    HANDLE hFile =
        CreateFileW(target, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return hFile;
    DWORD written = 0;
    WriteFile(hFile, file.content, file.length, &written, NULL);
    if (written == file.length)
        return hFile;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(hFile);
    return INVALID_HANDLE_VALUE;
}

// A name taken since it was judged free: by the package's own bytes it is another setup's at work
// there, left as found; anything else is named as in the way.
static bool TakenMeanwhile(InstallAttempt* attempt, const WCHAR* path, int index)
{
    OpenedFile file;
    if (GetLastError() != ERROR_FILE_EXISTS)
        return false;
    bool own = OpenAsItself(path, false, false, &file) == OPENED && HoldsDigest(&file, PayloadDigest(index));
    if (file.handle != INVALID_HANDLE_VALUE)
        CloseHandle(file.handle);
    if (!own)
        return Refuse(attempt, REFUSAL_IN_THE_WAY, path);
    attempt->record.foundFiles |= 1u << index;
    return true;
}

// Writes over another installation's shortcut: deleted through the handle it was judged by, and no
// longer claimed by that installation's record.
static bool ReplaceShortcut(const WCHAR* path, int index)
{
    OpenedFile file;
    WCHAR target[MAX_PATH], valueName[MAX_PATH];
    InstallationRecord other;
    if (OpenAsItself(path, false, true, &file) != OPENED)
        return false;
    bool setups = ReadSetupShortcut(&file, target) == index && FindInstallation(target, &other, valueName);
    bool deleted = setups && DeleteOpenEntry(&file);
    CloseHandle(file.handle);
    if (!deleted)
        return false;
    // An earlier version's record claims every shortcut setup makes, and the group's folder.
    if (other.shortcuts & SHORTCUTS_UNKNOWN) {
        other.shortcuts = GROUP_FOLDER_CREATED;
        for (int i = 0; i < PAYLOAD_COUNT; i++)
            other.shortcuts |= SHORTCUT_DESCRIPTIONS[i] != NULL ? 1u << i : 0;
    }
    other.shortcuts &= ~(1u << index);
    StoreInstallation(valueName, &other);
    return true;
}

// Removes a folder this attempt made, once empty, through a handle that does not follow a link
// put at its name since.
static bool RemoveOwnFolder(const WCHAR* path)
{
    OpenedFile folder;
    if (OpenAsItself(path, true, true, &folder) != OPENED)
        return false;
    bool gone = DeleteOpenEntry(&folder);
    CloseHandle(folder.handle);
    return gone;
}

// Takes back what this attempt wrote, through the handles it wrote by, and the folders it created
// once they are empty; the record is left as it was, or holds what could not be taken back.
static void TakeBack(InstallAttempt* attempt, DWORD newLevels, bool groupMade)
{
    for (int i = 0; i < 2 * PAYLOAD_COUNT; i++) {
        OpenedFile file = {attempt->written[i], 0};
        if (file.handle == INVALID_HANDLE_VALUE)
            continue;
        if (DeleteOpenEntry(&file)) {
            DWORD bit = 1u << (i % PAYLOAD_COUNT);
            if (i < PAYLOAD_COUNT)
                attempt->record.writtenFiles &= ~bit;
            else
                attempt->record.shortcuts &= ~bit;
        }
        CloseHandle(file.handle);
        attempt->written[i] = INVALID_HANDLE_VALUE;
    }
    WCHAR folder[MAX_PATH];
    CopyWide(folder, MAX_PATH, attempt->folder);
    for (DWORD level = 0; level < newLevels && RemoveOwnFolder(folder); level++) {
        attempt->record.createdLevels--;
        CutToParent(folder);
    }
    if (groupMade && RemoveOwnFolder(attempt->group))
        attempt->record.shortcuts &= ~GROUP_FOLDER_CREATED;
    if (attempt->valueName[0] == L'\0')
        return;
    const InstallationRecord* record = &attempt->record;
    bool left = (record->writtenFiles & ~attempt->before.writtenFiles) ||
                (record->shortcuts & ~attempt->before.shortcuts) ||
                record->createdLevels > attempt->before.createdLevels;
    if (left)
        StoreInstallation(attempt->valueName, record);
    else if (attempt->recorded)
        StoreInstallation(attempt->valueName, &attempt->before);
    else
        ForgetInstallation(attempt->valueName);
}

bool RunInstall(HWND dialog, InstallAttempt* attempt)
{
    bool InstallOutcome = true;
    bool withGroup = IsDlgButtonChecked(dialog, IDC_CREATE_GROUP) == BST_CHECKED;
    char destination[MAX_PATH], target[MAX_PATH];
    WCHAR wide[MAX_PATH];
    DWORD toWrite, shortcutsToWrite = 0, newLevels = 0;
    bool groupMade = false;
    bool elevated = IsElevated();

    ZeroMemory(attempt, sizeof *attempt);
    for (HANDLE& handle : attempt->written)
        handle = INVALID_HANDLE_VALUE;
    if (!ReadDestination(dialog, destination, attempt) || (withGroup && !ReadGroupFolder(attempt->group)) ||
        MultiByteToWideChar(CP_ACP, 0, destination, -1, wide, MAX_PATH) == 0 ||
        !GetRecordName(wide, attempt->folder, MAX_PATH))
        return false;
    // A name the system takes for a device ("D:\AK2\NUL" is "\\.\NUL") is no folder.
    if (attempt->folder[0] == L'\\' && attempt->folder[1] == L'\\' &&
        (attempt->folder[2] == L'.' || attempt->folder[2] == L'?'))
        return false;
    attempt->recorded = FindInstallation(attempt->folder, &attempt->before, attempt->valueName);
    if (!JudgeQuietly(attempt, &toWrite, &shortcutsToWrite) ||
        WideCharToMultiByte(CP_ACP, 0, attempt->folder, -1, PathBuffer, MAX_PATH, NULL, NULL) == 0 ||
        !EnsureTrailingSeparator())
        return false;

    // Every decision is made: from here on each change is recorded before or as it is made.
    if (attempt->group[0] != L'\0' && GetFileAttributesW(attempt->group) == INVALID_FILE_ATTRIBUTES) {
        groupMade = CreateDirectoryW(attempt->group, NULL) != FALSE;
        if (groupMade)
            attempt->record.shortcuts |= GROUP_FOLDER_CREATED;
    }
    DWORD groupAttributes = GetFileAttributesW(attempt->group);
    newLevels = CountMissingLevels(attempt->folder);
    bool made = CreateDirectoryLevels(attempt->folder, elevated);
    attempt->othersCanChange = FoundFolderLetsOthersChange(elevated, made, attempt->folder);
    if ((attempt->group[0] != L'\0' &&
         (groupAttributes == INVALID_FILE_ATTRIBUTES || !(groupAttributes & FILE_ATTRIBUTE_DIRECTORY))) ||
        !BeginRecord(attempt)) {
        InstallOutcome = false;
        goto done;
    }

    for (int i = 0; i < PAYLOAD_COUNT && InstallOutcome; i++) {
        const char* name = CARRIED_FILE_NAMES[i];
        WCHAR path[MAX_PATH];
        DWORD bit = 1u << i;
        InstallOutcome = CopyText(target, MAX_PATH, PathBuffer) && AppendText(target, MAX_PATH, name) &&
                         MultiByteToWideChar(CP_ACP, 0, target, -1, path, MAX_PATH) > 0;
        if (InstallOutcome && (toWrite & bit)) {
            attempt->written[i] = WritePayloadFile(path, i);
            if (attempt->written[i] != INVALID_HANDLE_VALUE)
                attempt->record.writtenFiles |= bit;
            else
                InstallOutcome = TakenMeanwhile(attempt, path, i);
            InstallOutcome = StoreInstallation(attempt->valueName, &attempt->record) && InstallOutcome;
        }
        if (i == PAYLOAD_README || i == PAYLOAD_PROGRAM)
            CopyText(i == PAYLOAD_README ? attempt->readme : attempt->program, MAX_PATH, target);
        if (!InstallOutcome || !(shortcutsToWrite & bit) || !NameCarried(wide, attempt->group, i, L".lnk"))
            continue;
        if ((attempt->replace & bit) && !ReplaceShortcut(wide, i)) {
            InstallOutcome = false;
            continue;
        }
        attempt->written[PAYLOAD_COUNT + i] = CreateShortcut(path, wide, SHORTCUT_DESCRIPTIONS[i]);
        InstallOutcome = attempt->written[PAYLOAD_COUNT + i] != INVALID_HANDLE_VALUE;
        if (InstallOutcome)
            attempt->record.shortcuts |= bit;
        else if (GetLastError() == ERROR_FILE_EXISTS)
            Refuse(attempt, REFUSAL_IN_THE_WAY, wide);
        InstallOutcome = StoreInstallation(attempt->valueName, &attempt->record) && InstallOutcome;
    }

done:
    if (!InstallOutcome) {
        TakeBack(attempt, newLevels, groupMade);
        return false;
    }
    for (HANDLE handle : attempt->written)
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    return true;
}
