// The removal of one installation: only the package's own bytes, each checked and deleted through one handle.
#include "removal.h"

#include "../common/identity.h"
#include "../common/text.h"
#include "../common/ownfile.h"
#include "../common/shortcut.h"
#include "carried.h"
#include "guard.h"

// A carried file goes only when its size and digest are what the uninstaller carries (for
// uninstal.exe: its own image), a shortcut only when setup made it to one of them. A folder goes only
// when setup created it and it is empty once they are gone.

static const char* const REASONS[] = {
    "",
    "kept: it holds files the installer did not write, or that were changed since",
    "kept: it holds another installation's shortcuts",
    "kept: its files are deleted; Windows removes them once another program lets go of them",
    "kept: could not tell whether a file in it is Ambit Knob's",
    "kept: a link on its way leads elsewhere, so it was not removed",
    "kept: a file of Ambit Knob in it could not be removed; another program may hold it open",
    "not found, so not removed: it was moved, or its drive is not there",
};

Kept WhyStays(const LeftEntries* left)
{
    return left->held         ? KEPT_HELD
           : left->untold     ? KEPT_UNTOLD
           : left->pending    ? KEPT_PENDING
           : left->others     ? KEPT_OTHERS
           : left->otherGroup ? KEPT_OTHER_INSTALLATION
                              : KEPT_HELD;
}

bool KeepsRecord(Kept reason) { return reason >= KEPT_PENDING; }

static void NoteKept(KeptList* kept, const WCHAR* folder, Kept reason)
{
    if (reason == KEPT_NOTHING)
        return;
    if (KeepsRecord(reason))
        kept->packageLeft = true;
    int capacity = sizeof kept->text / sizeof kept->text[0];
    AppendWide(kept->text, capacity, folder) && AppendAnsi(kept->text, capacity, "\n    ") &&
        AppendAnsi(kept->text, capacity, REASONS[reason]) && AppendAnsi(kept->text, capacity, "\n");
}

// Whether a deleted entry is still listed: without the system's immediate deletion (older Windows,
// FAT, network shares) it stays until every other program lets go of it.
static bool StillListed(const WCHAR* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_ACCESS_DENIED;
}

// Deletes the open entry and closes it; notes it as pending when it is still listed afterwards.
static bool DeleteAndClose(OpenedFile* file, const WCHAR* path, LeftEntries* left)
{
    bool deleted = DeleteOpenEntry(file);
    CloseHandle(file->handle);
    if (!deleted)
        left->held = true;
    else if (StillListed(path))
        left->pending = true;
    return deleted;
}

// Deletes the carried files setup wrote that are still the package's own; notes what stays.
static void RemoveCarriedFiles(const Installation* installation, LeftEntries* left, bool* removedAny)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR path[MAX_PATH];
        OpenedFile file;
        DWORD bit = 1u << i;
        // A copy the user had there before the install is theirs, byte for byte the package's or not.
        if (!(installation->record.writtenFiles & bit) || (installation->record.foundFiles & bit))
            continue;
        OpenOutcome opened =
            NameCarried(path, installation->folder, i, L"") ? OpenAsItself(path, false, true, &file) : OPEN_NOT_PLAIN;
        left->held |= opened == OPEN_HELD;
        left->others |= opened == OPEN_NOT_PLAIN;
        if (opened != OPENED)
            continue;
        const FileDigest* own = i == PAYLOAD_UNINSTALLER ? &installation->uninstaller : &CarriedDigests[i];
        Sameness same = CompareBytes(&file, own);
        left->untold |= same == BYTES_UNREAD;
        left->others |= same == BYTES_OTHER;
        if (same == BYTES_SAME)
            *removedAny |= DeleteAndClose(&file, path, left);
        else
            CloseHandle(file.handle);
    }
}

// Which carried file the open shortcut is setup's shortcut to, made for another recorded
// installation, which keeps it; -1 when it is none. That installation's record and the name it is
// stored under go into `other` and `valueName`.
static int OtherInstallationsShortcut(const OpenedFile* file, const Installation* installation,
                                      InstallationRecord* other, WCHAR* valueName)
{
    WCHAR target[MAX_PATH];
    int index = ReadSetupShortcut(file, target);
    bool theirs = index >= 0 && FindInstallation(target, other, valueName) &&
                  !SameIdentity(&other->identity, &installation->record.identity) &&
                  (other->shortcuts & (SHORTCUTS_UNKNOWN | 1u << index));
    return theirs ? index : -1;
}

// The group's folder that setup made stays for another installation's shortcuts: that installation
// now removes it once it is empty.
static void PassGroupOn(const Installation* installation)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR path[MAX_PATH], valueName[MAX_PATH];
        InstallationRecord other;
        OpenedFile file;
        if (SHORTCUT_DESCRIPTIONS[i] == NULL || !NameCarried(path, installation->group, i, L".lnk") ||
            OpenAsItself(path, false, false, &file) != OPENED)
            continue;
        bool theirs = OtherInstallationsShortcut(&file, installation, &other, valueName) == i;
        CloseHandle(file.handle);
        if (theirs) {
            other.shortcuts |= GROUP_FOLDER_CREATED;
            StoreInstallation(valueName, &other);
            return;
        }
    }
}

// Deletes the group's shortcuts setup made to the installation's files, while they are still
// setup's; notes what stays.
static void RemoveShortcuts(const Installation* installation, LeftEntries* left)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR path[MAX_PATH], target[MAX_PATH];
        OpenedFile file;
        if (SHORTCUT_DESCRIPTIONS[i] == NULL || !(installation->record.shortcuts & (SHORTCUTS_UNKNOWN | 1u << i)) ||
            !NameCarried(path, installation->group, i, L".lnk"))
            continue;
        OpenOutcome opened = OpenAsItself(path, false, true, &file);
        left->held |= opened == OPEN_HELD;
        if (opened != OPENED)
            continue;
        if (ReadSetupShortcut(&file, target) == i && IsSameFolder(target, installation->folder))
            DeleteAndClose(&file, path, left);
        else
            CloseHandle(file.handle);
    }
}

// What the folder holds: the user's entries, or another installation's shortcuts. One that cannot
// be listed to its end may hold anything.
static void ListLeft(const WCHAR* folder, const Installation* installation, LeftEntries* left)
{
    // The pattern first, then each entry's path.
    WCHAR path[MAX_PATH + 2], valueName[MAX_PATH];
    InstallationRecord other;
    if (!CopyWide(path, MAX_PATH + 2, folder) || !AppendWide(path, MAX_PATH + 2, L"\\*")) {
        left->others = true;
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(path, &entry);
    if (find == INVALID_HANDLE_VALUE) {
        left->others |= GetLastError() != ERROR_FILE_NOT_FOUND;
        return;
    }
    do {
        if (IsDots(entry.cFileName))
            continue;
        OpenedFile file;
        bool theirs = CopyWide(path, MAX_PATH, folder) && AppendWide(path, MAX_PATH, L"\\") &&
                      AppendWide(path, MAX_PATH, entry.cFileName) && OpenAsItself(path, false, false, &file) == OPENED;
        if (theirs) {
            theirs = OtherInstallationsShortcut(&file, installation, &other, valueName) >= 0;
            CloseHandle(file.handle);
        }
        left->otherGroup |= theirs;
        left->others |= !theirs;
    } while (FindNextFileW(find, &entry));
    left->others |= GetLastError() != ERROR_NO_MORE_FILES;
    FindClose(find);
}

enum FolderFate {
    FOLDER_GONE,
    FOLDER_NOT_OURS, // a drive, a folder of the system or of a user: never removed
    FOLDER_STAYS,    // not empty, or it could not be removed
    FOLDER_UNTOLD,   // the system would not say what the folder is, so it stays
    FOLDER_LINKED,   // a link, or a link on the way below the highest level setup created: it stays
};

// Whether the open folder holds nothing at all, listed through its own handle: a second open for
// listing would clash with the deletion access this one holds. One that cannot be listed may hold
// anything.
static bool IsEmptyFolder(HANDLE folder)
{
    union {
        FILE_ID_BOTH_DIR_INFO first;
        BYTE bytes[1024];
    } listing;
    FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, next, &listing, sizeof listing)) {
        next = FileIdBothDirectoryInfo;
        for (BYTE* at = listing.bytes;;) {
            FILE_ID_BOTH_DIR_INFO* entry = (FILE_ID_BOTH_DIR_INFO*)at;
            int length = entry->FileNameLength / sizeof(WCHAR);
            bool dots = entry->FileName[0] == L'.' && (length == 1 || (length == 2 && entry->FileName[1] == L'.'));
            if (!dots)
                return false;
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

// The name the system gives the open folder, judged rather than a path resolved again.
static bool NameOpenFolder(HANDLE handle, WCHAR* finalName)
{
    DWORD length =
        GetFinalPathNameByHandleW(handle, finalName, LONG_PATH_CAPACITY, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < LONG_PATH_CAPACITY;
}

// The folder `k` levels above `folder`.
static void LevelPath(const WCHAR* folder, DWORD k, WCHAR* path)
{
    CopyWide(path, MAX_PATH, folder);
    for (DWORD up = 0; up < k; up++)
        CutToParent(path);
}

// The most levels a path of MAX_PATH characters has: each takes a name and a separator.
enum { MOST_LEVELS = MAX_PATH / 2 };

// Each level is opened without following a link and must be, by the system's own name for it, in the
// one above: a link put on the way meanwhile stops that level and the ones below.
Kept RemoveCreatedFolders(const Installation* installation, const WCHAR* folder, DWORD levels, const LeftEntries* run,
                          KeptList* kept)
{
    // Static for the frame limit: the names of every level are larger than the frame the build allows.
    static WCHAR s_name[LONG_PATH_CAPACITY], s_upper[LONG_PATH_CAPACITY];
    static HANDLE s_handles[MOST_LEVELS];
    static FolderFate s_fates[MOST_LEVELS];
    WCHAR path[MAX_PATH];
    levels = levels < MOST_LEVELS ? levels : MOST_LEVELS;
    s_upper[0] = L'\0';
    bool broken = false;
    for (DWORD k = levels; k-- > 0;) {
        LevelPath(folder, k, path);
        OpenedFile level = {INVALID_HANDLE_VALUE, 0};
        s_handles[k] = INVALID_HANDLE_VALUE;
        s_fates[k] = broken ? FOLDER_LINKED : FOLDER_STAYS;
        // A drive's root never goes, and names the level below it as it is spelled.
        if (!broken && IsRootName(path)) {
            s_fates[k] = FOLDER_NOT_OURS;
            CopyWide(s_upper, LONG_PATH_CAPACITY, path);
            continue;
        }
        OpenOutcome opened = broken ? OPEN_ABSENT : OpenAsItself(path, true, true, &level);
        s_handles[k] = level.handle;
        if (opened == OPEN_NOT_PLAIN)
            s_fates[k] = FOLDER_LINKED;
        bool named = opened == OPENED && NameOpenFolder(level.handle, s_name);
        const WCHAR* plain = named ? PlainName(s_name) : L"";
        const WCHAR* leaf = path + TrimmedLength(path);
        while (leaf > path && leaf[-1] != L'\\')
            leaf--;
        int upper = TrimmedLength(s_upper);
        // Below the highest level, each must be named as the one above, a separator and its own name.
        if (named && upper > 0 &&
            !(SameText(plain, upper, s_upper, upper) && plain[upper] == L'\\' &&
              SameText(plain + upper + 1, -1, leaf, -1)))
            s_fates[k] = FOLDER_LINKED;
        else if (opened == OPENED && !named)
            s_fates[k] = FOLDER_UNTOLD;
        else if (named && IsGuardedFolder(path, plain))
            s_fates[k] = FOLDER_NOT_OURS;
        // A level that could not be opened leaves the next to be judged as if it were the highest.
        CopyWide(s_upper, LONG_PATH_CAPACITY, plain);
        broken = broken || s_fates[k] == FOLDER_LINKED || s_fates[k] == FOLDER_UNTOLD;
    }
    // Bottom-up: each level goes once the one below it has gone and it is empty.
    LeftEntries none = {};
    Kept noted = KEPT_NOTHING;
    bool reported = false;
    // The installation's folder is looked at even when setup did not create it, for what is left in it.
    for (DWORD k = 0; k < (levels > 0 ? levels : 1); k++) {
        LevelPath(folder, k, path);
        FolderFate fate = k < levels ? s_fates[k] : FOLDER_NOT_OURS;
        OpenedFile level = {k < levels ? s_handles[k] : INVALID_HANDLE_VALUE, 0};
        bool below = k == 0 || s_fates[k - 1] == FOLDER_GONE;
        if (level.handle != INVALID_HANDLE_VALUE) {
            if (fate == FOLDER_STAYS && below && IsEmptyFolder(level.handle) && DeleteOpenEntry(&level))
                fate = FOLDER_GONE;
            CloseHandle(level.handle);
            if (fate == FOLDER_GONE && StillListed(path))
                fate = FOLDER_STAYS;
        }
        if (k < levels)
            s_fates[k] = fate;
        if (fate == FOLDER_GONE)
            continue;
        // The first level that stays is named with its reason; the user's own folder only for what
        // the run left in it or what is not Ambit Knob's there.
        if (!reported && below) {
            reported = true;
            LeftEntries left = k == 0 ? *run : none;
            if (fate == FOLDER_LINKED || fate == FOLDER_UNTOLD) {
                noted = fate == FOLDER_LINKED ? KEPT_LINKED : KEPT_UNTOLD;
            } else {
                ListLeft(path, installation, &left);
                if (fate == FOLDER_STAYS || left.others || left.otherGroup || left.pending || left.untold || left.held)
                    noted = WhyStays(&left);
            }
            NoteKept(kept, path, noted);
        }
        if (IsRootName(path))
            break;
    }
    return noted;
}

void RemoveInstallation(const Installation* installation, KeptList* kept)
{
    DWORD attributes = GetFileAttributesW(installation->folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DWORD error = GetLastError();
        NoteKept(kept, installation->folder,
                 attributes != INVALID_FILE_ATTRIBUTES || IsNotFoundError(error) || IsDriveGoneError(error)
                     ? KEPT_NOT_FOUND
                     : KEPT_HELD);
        return;
    }
    const InstallationRecord* record = &installation->record;
    bool removedAny = false;
    LeftEntries files = {}, shortcuts = {};
    RemoveCarriedFiles(installation, &files, &removedAny);
    CoInitialize(NULL);
    if (installation->group[0] != L'\0')
        RemoveShortcuts(installation, &shortcuts);
    // A folder that was empty already may be one the user made again, which some file systems give
    // the number of the one deleted: only a folder this run emptied goes.
    if (files.held || files.untold)
        NoteKept(kept, installation->folder, WhyStays(&files));
    else
        RemoveCreatedFolders(installation, installation->folder, removedAny ? record->createdLevels : 0, &files, kept);
    // The group's folder goes only when setup made it; one the user made is theirs.
    bool groupIsSetups = record->shortcuts & (GROUP_FOLDER_CREATED | SHORTCUTS_UNKNOWN);
    if (installation->group[0] != L'\0' && GetFileAttributesW(installation->group) != INVALID_FILE_ATTRIBUTES &&
        groupIsSetups) {
        if (RemoveCreatedFolders(installation, installation->group, 1, &shortcuts, kept) == KEPT_OTHER_INSTALLATION)
            PassGroupOn(installation);
    } else if (shortcuts.held || shortcuts.pending)
        NoteKept(kept, installation->group, WhyStays(&shortcuts));
    CoUninitialize();
}
