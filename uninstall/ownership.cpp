// What the uninstaller may remove. A folder the installer made goes whole; from any other recorded
// folder only the carried files go; a drive, or a folder that is or holds one of the system's or a
// user's folders, is never touched. Each folder is judged before anything in it changes. The
// removal then opens every entry once, as itself and never through a link, checks that it is what
// was judged and listed, and deletes it through that same handle: no other program can swap an
// entry for a link to elsewhere between the check and the deletion.
#include "ownership.h"

// Folders nested deeper than this are not walked; their tree stays whole.
enum { MAX_DEPTH = 100 };

// A listed entry in FolderWalk::listed: its file number (four characters' room), its attributes
// and its reparse tag (two each), then its name and a terminator.
enum { RECORD_HEAD = 8 };

// An entry opened as itself, and what the system says it is.
struct OpenedEntry {
    HANDLE handle;
    FileIdentity identity;
    DWORD attributes;
    bool link;
};

// Opens the entry without following a link at its end. To remove, it is opened for deletion, and no
// other program may delete, rename or replace it while it is open.
static bool OpenEntry(const WCHAR* path, bool remove, bool folder, OpenedEntry* entry)
{
    DWORD access = FILE_READ_ATTRIBUTES | SYNCHRONIZE | (folder ? FILE_LIST_DIRECTORY : 0) |
                   (remove ? DELETE | FILE_WRITE_ATTRIBUTES : 0);
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (remove ? 0 : FILE_SHARE_DELETE);
    entry->handle = CreateFileW(path, access, share, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (entry->handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandle(entry->handle, &information) ||
        !GetFileInformationByHandleEx(entry->handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        CloseHandle(entry->handle);
        return false;
    }
    entry->identity.volume = information.dwVolumeSerialNumber;
    entry->identity.high = information.nFileIndexHigh;
    entry->identity.low = information.nFileIndexLow;
    entry->attributes = information.dwFileAttributes;
    entry->link = IsLinkEntry(tag.FileAttributes, tag.ReparseTag);
    return true;
}

// Whether the open entry is where walk->path says: the system gives it the judged folder's name on
// its volume and the rest of the path. Wine, for one, resolves every link it opens, and then it is
// not.
static bool OpensAsItself(FolderWalk* walk, HANDLE handle)
{
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, &walk->name, sizeof walk->name))
        return false;
    const WCHAR* name = walk->name.info.FileName;
    int length = walk->name.info.FileNameLength / sizeof(WCHAR);
    int topLength = lstrlenW(walk->topName);
    const WCHAR* rest = walk->path + walk->topLength;
    return length == topLength + lstrlenW(rest) && SameText(name, topLength, walk->topName, topLength) &&
           SameText(name + topLength, length - topLength, rest, -1);
}

// Opens the judged folder by its final name. Judging, it learns what the folder is; removing, it
// must find that same folder again, and no link.
static bool OpenTop(FolderWalk* walk, bool remove, OpenedEntry* top)
{
    walk->topLength = lstrlenW(walk->finalName);
    if (!CopyWide(walk->path, LONG_PATH_CAPACITY, walk->finalName) || !OpenEntry(walk->path, remove, true, top))
        return false;
    bool vouched = true;
    if (!remove) {
        walk->top = top->identity;
        DWORD length = 0;
        vouched = GetFileInformationByHandleEx(top->handle, FileNameInfo, &walk->name, sizeof walk->name) &&
                  (length = walk->name.info.FileNameLength / sizeof(WCHAR)) < LONG_PATH_CAPACITY;
        if (vouched) {
            CopyMemory(walk->topName, walk->name.info.FileName, length * sizeof(WCHAR));
            walk->topName[length] = L'\0';
        }
    }
    vouched = vouched && !(remove && top->link) && SameIdentity(&top->identity, &walk->top) &&
              OpensAsItself(walk, top->handle);
    if (!vouched)
        CloseHandle(top->handle);
    return vouched;
}

static bool IsDotsName(const WCHAR* name, int length)
{
    return name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'));
}

// Appends everything the open folder holds to walk->listed; false unless all of it fits.
static bool ListFolder(FolderWalk* walk, HANDLE folder)
{
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, &walk->listing, sizeof walk->listing))
            return GetLastError() == ERROR_NO_MORE_FILES;
        for (BYTE* at = walk->listing.bytes;;) {
            const FILE_ID_BOTH_DIR_INFO* entry = (const FILE_ID_BOTH_DIR_INFO*)at;
            int length = entry->FileNameLength / sizeof(WCHAR);
            if (!IsDotsName(entry->FileName, length)) {
                if (walk->listedLength + RECORD_HEAD + length + 1 > LISTED_CAPACITY)
                    return false;
                WCHAR* record = walk->listed + walk->listedLength;
                CopyMemory(record, &entry->FileId, sizeof entry->FileId);
                CopyMemory(record + 4, &entry->FileAttributes, sizeof entry->FileAttributes);
                // The directory listing gives a reparse point's tag in place of the size of its
                // extended attributes.
                CopyMemory(record + 6, &entry->EaSize, sizeof entry->EaSize);
                CopyMemory(record + RECORD_HEAD, entry->FileName, length * sizeof(WCHAR));
                record[RECORD_HEAD + length] = L'\0';
                walk->listedLength += RECORD_HEAD + length + 1;
            }
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

// Marks the open entry for deletion: it goes when its handle closes. A read-only entry of the
// installation's own goes too; a link's attributes are left alone.
static bool DeleteOpenEntry(const OpenedEntry* entry, bool clearReadOnly)
{
    if (clearReadOnly && !entry->link && (entry->attributes & FILE_ATTRIBUTE_READONLY)) {
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(entry->handle, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(entry->handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

static bool WalkBelow(FolderWalk* walk, HANDLE folder, bool remove, int depth);

// The listed entry named in walk->path: opened once, vouched for on that handle as the entry that
// was listed, on the folder's volume and at its place, and with `remove` deleted through it, a link
// as a link and never what it leads to.
static bool VisitEntry(FolderWalk* walk, const WCHAR* record, bool remove, int depth)
{
    LARGE_INTEGER listedId;
    DWORD listedAttributes, listedTag;
    CopyMemory(&listedId, record, sizeof listedId);
    CopyMemory(&listedAttributes, record + 4, sizeof listedAttributes);
    CopyMemory(&listedTag, record + 6, sizeof listedTag);
    OpenedEntry entry;
    if (!OpenEntry(walk->path, remove, (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, &entry))
        return false;
    entry.link = entry.link || IsLinkEntry(listedAttributes, listedTag);
    bool done = entry.identity.volume == walk->top.volume && entry.identity.high == (DWORD)listedId.HighPart &&
                entry.identity.low == listedId.LowPart && OpensAsItself(walk, entry.handle);
    if (done && (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !entry.link)
        done = WalkBelow(walk, entry.handle, remove, depth + 1);
    if (done && remove)
        done = DeleteOpenEntry(&entry, true);
    CloseHandle(entry.handle);
    return done;
}

// Everything below the open folder named in walk->path, listed whole first. Checking stops at the
// first entry that cannot be vouched for; removing goes on past an entry that cannot be deleted, to
// take what it can.
static bool WalkBelow(FolderWalk* walk, HANDLE folder, bool remove, int depth)
{
    int start = walk->listedLength;
    if (depth > MAX_DEPTH || !ListFolder(walk, folder)) {
        walk->listedLength = start;
        return false;
    }
    int length = lstrlenW(walk->path);
    bool whole = true;
    for (int at = start; at < walk->listedLength && (whole || remove);) {
        const WCHAR* record = walk->listed + at;
        const WCHAR* name = record + RECORD_HEAD;
        at += RECORD_HEAD + lstrlenW(name) + 1;
        bool done = AppendWide(walk->path, LONG_PATH_CAPACITY, L"\\") &&
                    AppendWide(walk->path, LONG_PATH_CAPACITY, name) && VisitEntry(walk, record, remove, depth);
        walk->path[length] = L'\0';
        whole = whole && done;
    }
    walk->listedLength = start;
    return whole;
}

// Names the carried file (and the suffix) in walk->path, in the judged folder; true when a file is
// there.
static bool FindCarriedFile(FolderWalk* walk, const char* name, const WCHAR* suffix = L"")
{
    WCHAR wideName[MAX_PATH];
    walk->path[walk->topLength] = L'\0';
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, MAX_PATH) == 0 ||
        !AppendWide(walk->path, LONG_PATH_CAPACITY, L"\\") || !AppendWide(walk->path, LONG_PATH_CAPACITY, wideName) ||
        !AppendWide(walk->path, LONG_PATH_CAPACITY, suffix))
        return false;
    DWORD attributes = GetFileAttributesW(walk->path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the folder resolves to somewhere else than inside its parent: it is reached through a
// link, its own or one the system does not show as one.
static bool LeadsElsewhere(FolderWalk* walk, const WCHAR* spelled)
{
    WCHAR parent[MAX_PATH];
    CopyWide(parent, MAX_PATH, spelled);
    CutToParent(parent);
    if (!GetFinalName(parent, true, walk->path, LONG_PATH_CAPACITY))
        return true;
    // The folder's final name must be its parent's final name, a separator and one name more.
    int parentLength = TrimmedLength(walk->finalName);
    while (parentLength > 0 && walk->finalName[parentLength - 1] != L'\\')
        parentLength--;
    return parentLength == 0 ||
           !SameText(walk->path, TrimmedLength(walk->path), walk->finalName, parentLength - 1);
}

// Whether the folder is a link by its reparse point, as its parent lists it. (Opened, it may already
// be what the link leads to.)
static bool IsLinkItself(const WCHAR* spelled, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW(spelled, FindExInfoBasic, &entry, FindExSearchNameMatch, NULL, 0);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    FindClose(find);
    return IsLinkEntry(entry.dwFileAttributes, entry.dwReserved0);
}

// The judging of the open folder, once it is known to be no system's or user's folder.
static Verdict JudgeOpenFolder(FolderWalk* walk, HANDLE top, bool owned, bool mustHoldProduct)
{
    if (mustHoldProduct && !FindCarriedFile(walk, CARRIED_FILE_NAMES[PAYLOAD_UNINSTALLER]) &&
        !FindCarriedFile(walk, CARRIED_FILE_NAMES[PAYLOAD_PROGRAM]))
        return VERDICT_REFUSED_FOREIGN;
    if (!owned)
        return VERDICT_REMOVE_CARRIED;
    walk->path[walk->topLength] = L'\0';
    walk->listedLength = 0;
    return WalkBelow(walk, top, false, 0) ? VERDICT_REMOVE_WHOLE : VERDICT_UNSAFE;
}

Verdict JudgeFolder(FolderWalk* walk, const char* recorded, bool owned, bool mustHoldProduct)
{
    WCHAR wide[MAX_PATH];
    WCHAR spelled[MAX_PATH];
    if (!IsFullyQualifiedPath(recorded) || MultiByteToWideChar(CP_ACP, 0, recorded, -1, wide, MAX_PATH) == 0)
        return VERDICT_REFUSED_FOREIGN;
    DWORD length = GetFullPathNameW(wide, MAX_PATH, spelled, NULL);
    if (length == 0 || length >= MAX_PATH)
        return VERDICT_REFUSED_FOREIGN;
    if (IsRootName(spelled))
        return VERDICT_REFUSED_SYSTEM;
    spelled[TrimmedLength(spelled)] = L'\0';

    DWORD attributes = GetFileAttributesW(spelled);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return IsNotFoundError(error) || IsDriveGoneError(error) ? VERDICT_ABSENT : VERDICT_UNSAFE;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkItself(spelled, attributes))
        return VERDICT_REFUSED_FOREIGN;
    if (!GetFinalName(spelled, false, walk->finalName, LONG_PATH_CAPACITY) ||
        !CopyWide(walk->plain, LONG_PATH_CAPACITY, walk->finalName))
        return VERDICT_UNSAFE;
    if (IsGuardedFolder(spelled, PlainName(walk->plain)))
        return VERDICT_REFUSED_SYSTEM;
    if (LeadsElsewhere(walk, spelled))
        return VERDICT_REFUSED_FOREIGN;
    OpenedEntry top;
    if (!OpenTop(walk, false, &top))
        return VERDICT_UNSAFE;
    Verdict verdict = top.link ? VERDICT_REFUSED_FOREIGN : JudgeOpenFolder(walk, top.handle, owned, mustHoldProduct);
    CloseHandle(top.handle);
    return verdict;
}

bool IsInsideFolder(const char* folder, const char* path)
{
    // Its own, so that no other call's data changes under it.
    static WCHAR s_finalName[LONG_PATH_CAPACITY];
    WCHAR wide[MAX_PATH];
    FileIdentity identity;
    return MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH) > 0 && GetIdentity(wide, &identity) &&
           MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0 &&
           GetFinalName(wide, true, s_finalName, LONG_PATH_CAPACITY) && IsAtOrAbove(&identity, PlainName(s_finalName));
}

// Whether nothing is left at the path; one that cannot be looked at may still hold something.
static bool IsGone(const WCHAR* path)
{
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError());
}

bool DeleteTree(FolderWalk* walk)
{
    OpenedEntry top;
    if (!OpenTop(walk, true, &top))
        return false;
    walk->listedLength = 0;
    if (WalkBelow(walk, top.handle, true, 0))
        DeleteOpenEntry(&top, true);
    CloseHandle(top.handle);
    return IsGone(walk->finalName);
}

// Whether the judged folder holds anything at all.
static bool HoldsEntries(FolderWalk* walk)
{
    walk->path[walk->topLength] = L'\0';
    if (!AppendWide(walk->path, LONG_PATH_CAPACITY, L"\\*"))
        return true;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(walk->path, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool holds = false;
    do
        holds = !IsDots(entry.cFileName);
    while (!holds && FindNextFileW(find, &entry));
    FindClose(find);
    return holds;
}

// Names in walk->path what the install wrote for carried file `i`: the file itself, or with
// `shortcuts` its shortcut in the program group (the description has none); true when it is there.
static bool FindInstalled(FolderWalk* walk, int i, bool shortcuts)
{
    if (shortcuts && i == PAYLOAD_DESCRIPTION)
        return false;
    return FindCarriedFile(walk, CARRIED_FILE_NAMES[i], shortcuts ? L".lnk" : L"");
}

Leftover RemoveCarriedFiles(FolderWalk* walk, bool shortcuts)
{
    OpenedEntry top;
    if (!OpenTop(walk, true, &top))
        return LEFT_UNREMOVED;
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        OpenedEntry entry;
        if (!FindInstalled(walk, i, shortcuts) || !OpenEntry(walk->path, true, false, &entry))
            continue;
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && entry.identity.volume == walk->top.volume &&
            OpensAsItself(walk, entry.handle))
            DeleteOpenEntry(&entry, true);
        CloseHandle(entry.handle);
    }
    // Only an empty folder can be removed, and only then is it removed.
    DeleteOpenEntry(&top, false);
    CloseHandle(top.handle);
    if (IsGone(walk->finalName))
        return LEFT_NOTHING;
    // What stays says why: a carried file that could not go, or only what others put there.
    for (int i = 0; i < PAYLOAD_COUNT; i++)
        if (FindInstalled(walk, i, shortcuts))
            return LEFT_UNREMOVED;
    return HoldsEntries(walk) ? LEFT_OTHERS : LEFT_UNREMOVED;
}
