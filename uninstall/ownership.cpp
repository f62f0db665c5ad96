// What the uninstaller may remove. A folder the installer made goes whole; from any other recorded
// folder only the carried files go; a drive, or a folder that is or holds one of the system's or a
// user's folders, is never touched. Each folder is judged before anything in it changes, and the
// removal then works on the system's own name for it, so that no second spelling of a folder (a
// drive letter, a folder link) and no link inside it leads the removal elsewhere.
#include "ownership.h"

// Folders nested deeper than this are not walked; their tree stays whole.
enum { MAX_DEPTH = 100 };

// The entry being walked, extended and cut back again as the walk descends; scratch space for the
// final name of an entry; the plain spelling of the folder being judged.
static WCHAR g_walk[LONG_PATH_CAPACITY];
static WCHAR g_scratch[LONG_PATH_CAPACITY];
static WCHAR g_plain[LONG_PATH_CAPACITY];

// Whether the folder is a link itself, or resolves to somewhere else than inside its parent.
static bool IsLinkItself(const WCHAR* spelled, const WCHAR* finalName, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    WCHAR parent[MAX_PATH];
    CopyWide(parent, MAX_PATH, spelled);
    CutToParent(parent);
    if (!GetFinalName(parent, true, g_scratch, LONG_PATH_CAPACITY))
        return true;
    // The folder's final name must be its parent's final name, a separator and one name more.
    int parentLength = TrimmedLength(finalName);
    while (parentLength > 0 && finalName[parentLength - 1] != L'\\')
        parentLength--;
    return parentLength == 0 || !SameText(g_scratch, TrimmedLength(g_scratch), finalName, parentLength - 1);
}

// What the walk starts from: the folder's final name, and its volume and name on that volume as the
// system gives them for an open folder.
static int g_topLength;
static DWORD g_topVolume;
static WCHAR g_topName[LONG_PATH_CAPACITY];
static BYTE g_nameInfo[sizeof(FILE_NAME_INFO) + sizeof g_topName];

// The volume and the name on it that the system gives an entry once it is open: what the entry
// really is, whatever its path says. Opened without following a link at its end.
static bool IdentifyEntry(const WCHAR* path, DWORD* volume, WCHAR* name)
{
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    FILE_NAME_INFO* nameInfo = (FILE_NAME_INFO*)g_nameInfo;
    bool known = GetFileInformationByHandle(handle, &information) &&
                 GetFileInformationByHandleEx(handle, FileNameInfo, g_nameInfo, sizeof g_nameInfo);
    CloseHandle(handle);
    DWORD length = nameInfo->FileNameLength / sizeof(WCHAR);
    if (!known || length >= LONG_PATH_CAPACITY)
        return false;
    CopyMemory(name, nameInfo->FileName, length * sizeof(WCHAR));
    name[length] = L'\0';
    *volume = information.dwVolumeSerialNumber;
    return true;
}

// Starts a walk at the folder with this final name.
static bool BeginWalk(const WCHAR* finalName)
{
    g_topLength = lstrlenW(finalName);
    return CopyWide(g_walk, LONG_PATH_CAPACITY, finalName) && IdentifyEntry(g_walk, &g_topVolume, g_topName);
}

// Whether the entry named in g_walk is what its name says: opened without following a link, the
// system places it exactly there. Wine, for one, resolves every link it opens, and then it is not.
static bool OpensAsItself()
{
    DWORD volume;
    if (!IdentifyEntry(g_walk, &volume, g_scratch) || volume != g_topVolume)
        return false;
    int topLength = lstrlenW(g_topName);
    return lstrlenW(g_scratch) == topLength + lstrlenW(g_walk + g_topLength) &&
           SameText(g_scratch, topLength, g_topName, topLength) &&
           SameText(g_scratch + topLength, -1, g_walk + g_topLength, -1);
}

static bool WalkBelow(bool remove, int depth);

// The entry in g_walk: vouched for, and with `remove` deleted, a link as a link and never what
// it leads to.
static bool VisitEntry(DWORD attributes, bool remove, int depth)
{
    if (!OpensAsItself())
        return false;
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && !link && !WalkBelow(remove, depth + 1))
        return false;
    if (!remove)
        return true;
    // A read-only entry of the installation's own goes too; a link's attributes are left alone.
    if (!link)
        SetFileAttributesW(g_walk, FILE_ATTRIBUTE_NORMAL);
    return folder ? RemoveDirectoryW(g_walk) != FALSE : DeleteFileW(g_walk) != FALSE;
}

// Everything below the folder in g_walk. Checking stops at the first entry that cannot be vouched
// for; removing goes on past an entry that cannot be deleted, to take what it can.
static bool WalkBelow(bool remove, int depth)
{
    if (depth > MAX_DEPTH)
        return false;
    int length = lstrlenW(g_walk);
    if (!AppendWide(g_walk, LONG_PATH_CAPACITY, L"\\*"))
        return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(g_walk, &entry);
    g_walk[length] = L'\0';
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool whole = true;
    do {
        if (IsDots(entry.cFileName))
            continue;
        bool done = AppendWide(g_walk, LONG_PATH_CAPACITY, L"\\") &&
                    AppendWide(g_walk, LONG_PATH_CAPACITY, entry.cFileName) &&
                    VisitEntry(entry.dwFileAttributes, remove, depth);
        g_walk[length] = L'\0';
        whole = whole && done;
    } while ((whole || remove) && FindNextFileW(find, &entry));
    FindClose(find);
    return whole;
}

// Names the carried file (and the suffix) in g_walk, below the folder the walk started at; true
// when it is a file.
static bool FindCarriedFile(const char* name, const WCHAR* suffix = L"")
{
    WCHAR wideName[MAX_PATH];
    g_walk[g_topLength] = L'\0';
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, MAX_PATH) == 0 ||
        !AppendWide(g_walk, LONG_PATH_CAPACITY, L"\\") || !AppendWide(g_walk, LONG_PATH_CAPACITY, wideName) ||
        !AppendWide(g_walk, LONG_PATH_CAPACITY, suffix))
        return false;
    DWORD attributes = GetFileAttributesW(g_walk);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Verdict JudgeFolder(const char* recorded, bool owned, bool mustHoldProduct, WCHAR* finalName,
                    DWORD capacity)
{
    WCHAR wide[MAX_PATH];
    WCHAR spelled[MAX_PATH];
    if (!IsFullyQualifiedPath(recorded) ||
        MultiByteToWideChar(CP_ACP, 0, recorded, -1, wide, MAX_PATH) == 0)
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
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? VERDICT_ABSENT : VERDICT_UNSAFE;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return VERDICT_REFUSED_FOREIGN;
    if (!GetFinalName(spelled, false, finalName, capacity) || !CopyWide(g_plain, LONG_PATH_CAPACITY, finalName))
        return VERDICT_UNSAFE;
    const WCHAR* plain = PlainName(g_plain);
    if (IsGuardedFolder(spelled, plain))
        return VERDICT_REFUSED_SYSTEM;
    if (IsLinkItself(spelled, finalName, attributes))
        return VERDICT_REFUSED_FOREIGN;
    if (!BeginWalk(finalName))
        return VERDICT_UNSAFE;
    if (mustHoldProduct && !FindCarriedFile(CARRIED_FILE_NAMES[PAYLOAD_UNINSTALLER]) &&
        !FindCarriedFile(CARRIED_FILE_NAMES[PAYLOAD_PROGRAM]))
        return VERDICT_REFUSED_FOREIGN;
    if (!owned)
        return VERDICT_REMOVE_CARRIED;
    g_walk[g_topLength] = L'\0';
    if (!WalkBelow(false, 0))
        return VERDICT_UNSAFE;
    return VERDICT_REMOVE_WHOLE;
}

bool IsInsideFolder(const char* folder, const char* path)
{
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH) == 0 ||
        !GetFinalName(wide, true, g_plain, LONG_PATH_CAPACITY) ||
        MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0 ||
        !GetFinalName(wide, true, g_walk, LONG_PATH_CAPACITY))
        return false;
    return Covers(g_plain, g_walk);
}

static bool IsGone(const WCHAR* finalName)
{
    return GetFileAttributesW(finalName) == INVALID_FILE_ATTRIBUTES;
}

bool DeleteTree(const WCHAR* finalName)
{
    if (!BeginWalk(finalName))
        return false;
    WalkBelow(true, 0);
    SetFileAttributesW(finalName, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(finalName);
    return IsGone(finalName);
}

bool RemoveCarriedFiles(const WCHAR* finalName, bool shortcuts)
{
    if (!BeginWalk(finalName))
        return false;
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        // The description is the one carried file without a shortcut.
        if ((shortcuts && i == PAYLOAD_DESCRIPTION) ||
            !FindCarriedFile(CARRIED_FILE_NAMES[i], shortcuts ? L".lnk" : L"") || !OpensAsItself())
            continue;
        if (!(GetFileAttributesW(g_walk) & FILE_ATTRIBUTE_REPARSE_POINT))
            SetFileAttributesW(g_walk, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(g_walk);
    }
    // Only an empty folder can be removed, and only then is it removed.
    RemoveDirectoryW(finalName);
    return IsGone(finalName);
}

bool HoldsEntries(const WCHAR* finalName)
{
    if (!CopyWide(g_walk, LONG_PATH_CAPACITY, finalName) || !AppendWide(g_walk, LONG_PATH_CAPACITY, L"\\*"))
        return true;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(g_walk, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool holds = false;
    do
        holds = !IsDots(entry.cFileName);
    while (!holds && FindNextFileW(find, &entry));
    FindClose(find);
    return holds;
}
