// The install sequence: judge the destination, then create it and write the carried files into it
// in order.
#include "../common/folder.h"
#include "../resources/resource.h"
#include "payload.h"
#include "setup.h"

char* ReadmePath;
char* ProgramPath;

// The shortcut each carried file gets in the program group; the description text, or none.
static const char* const SHORTCUT_DESCRIPTIONS[PAYLOAD_COUNT] = {
    "Uninstall", NULL, "License", "Cindertop Software", "Read Me", PRODUCT_SUFFIX,
};

static void RecordPath(char** recorded, const char* path)
{
    free(*recorded);
    *recorded = _strdup(path);
}

// Creates every level of the path in PathBuffer, which ends in a separator; a level that exists
// or cannot be made does not stop the walk.
static void CreateDirectoryLevels()
{
    for (char* p = PathBuffer; *p; p++) {
        if (*p != '\\')
            continue;
        *p = '\0';
        CreateDirectoryA(PathBuffer, NULL);
        *p = '\\';
    }
}

// Reads the destination field; only a fully qualified path that fits, with its trailing separator,
// is a place the installer may write to and the uninstaller can find again.
static bool ReadDestination(HWND dialog, char* destination)
{
    HWND field = GetDlgItem(dialog, IDC_DESTINATION);
    if (GetWindowTextLengthA(field) >= MAX_PATH)
        return false;
    GetWindowTextA(field, destination, MAX_PATH);
    return IsFullyQualifiedPath(destination);
}

// The carried file a name in a folder listing stands for, compared as the file system compares
// names (ordinal, without regard to case); -1 for none.
static int CarriedIndex(const WCHAR* name)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR carried[32];
        if (MultiByteToWideChar(CP_ACP, 0, CARRIED_FILE_NAMES[i], -1, carried, 32) > 0 &&
            SameText(name, -1, carried, -1))
            return i;
    }
    return -1;
}

// Whether the file holds exactly the package's content: then it is the installer's own, left by an
// earlier install or a failed attempt. A file that cannot be read, or a folder, is not.
static bool HoldsCarriedContent(const WCHAR* path, const PayloadFile& file)
{
    HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool same = GetFileSizeEx(hFile, &size) && size.QuadPart == (LONGLONG)file.length;
    for (unsigned long offset = 0; same && offset < file.length;) {
        BYTE chunk[512];
        DWORD wanted = file.length - offset < sizeof chunk ? file.length - offset : sizeof chunk;
        DWORD read = 0;
        same = ReadFile(hFile, chunk, wanted, &read, NULL) && read == wanted;
        for (DWORD i = 0; same && i < read; i++)
            same = chunk[i] == file.content[offset + i];
        offset += read;
    }
    CloseHandle(hFile);
    return same;
}

// Whether the folder is the one an earlier install recorded as made by it, however either is
// spelled (a trailing separator, a second drive letter). Uses PathBuffer.
static bool IsRecordedOwnFolder(const char* destination)
{
    return ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, OWNED_DIR_VALUE) &&
           PathBuffer[0] != '\0' && IsSameFolder(PathBuffer, destination);
}

// Looks into the existing folder in attempt->named: whether it is the installation's own, and
// otherwise whether a user's file or folder of a carried name is in the way, which it then names.
// The listing is wide: an ANSI one gives a name outside the code page in a best-fit spelling, and a
// user's file would pass for a carried one.
static bool JudgeFolderContents(const char* destination, InstallAttempt* attempt)
{
    WCHAR* named = attempt->named;
    int length = lstrlenW(named);
    if (!AppendWide(named, NAMED_CAPACITY, L"\\*"))
        return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(named, &entry);
    named[length] = L'\0';
    if (find == INVALID_HANDLE_VALUE)
        return false;
    int identical = 0;
    int blocking = PAYLOAD_COUNT;  // the first carried file in install order that is not the package's
    WCHAR blockingName[32];        // as the folder spells it; it matched a carried name, so it fits
    bool others = false, product = false;
    do {
        int i = CarriedIndex(entry.cFileName);
        if (i < 0) {
            others = others || !IsDots(entry.cFileName);
            continue;
        }
        product = product || ((i == PAYLOAD_UNINSTALLER || i == PAYLOAD_PROGRAM) &&
                              !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
        bool own = AppendWide(named, NAMED_CAPACITY, L"\\") &&
                   AppendWide(named, NAMED_CAPACITY, entry.cFileName) &&
                   HoldsCarriedContent(named, PayloadSet[i]);
        named[length] = L'\0';
        if (own)
            identical++;
        else if (i < blocking && CopyWide(blockingName, 32, entry.cFileName))
            blocking = i;
    } while (FindNextFileW(find, &entry));
    FindClose(find);

    // An empty folder is the user's, made for whatever they mean to keep in it.
    attempt->owned = (!others && blocking == PAYLOAD_COUNT && identical > 0) ||
                     (product && IsRecordedOwnFolder(destination));
    if (attempt->owned || blocking == PAYLOAD_COUNT)
        return true;
    attempt->refusal = REFUSAL_IN_THE_WAY;
    AppendWide(named, NAMED_CAPACITY, L"\\");
    AppendWide(named, NAMED_CAPACITY, blockingName);
    return false;
}

// Decides, before anything is written, whether setup may install into the destination and whether
// the folder is the installation's own, which the uninstaller may remove whole. A drive, or a
// folder that is or holds one of the system's or a user's, is refused with the uninstaller's own
// guard: it would never remove the files from there. Changes nothing.
static bool JudgeDestination(const char* destination, InstallAttempt* attempt)
{
    static WCHAR finalName[LONG_PATH_CAPACITY];
    WCHAR wide[MAX_PATH];
    WCHAR* folder = attempt->named;
    if (MultiByteToWideChar(CP_ACP, 0, destination, -1, wide, MAX_PATH) == 0)
        return false;
    DWORD length = GetFullPathNameW(wide, MAX_PATH, folder, NULL);
    if (length == 0 || length >= MAX_PATH)
        return false;
    bool root = IsRootName(folder);
    if (!root)
        folder[TrimmedLength(folder)] = L'\0';

    // A folder setup makes is the installation's own; one that is there already is the user's,
    // unless what it holds says otherwise.
    DWORD attributes = GetFileAttributesW(folder);
    DWORD error = GetLastError();
    const WCHAR* plain = folder;
    if (attributes != INVALID_FILE_ATTRIBUTES && GetFinalName(folder, true, finalName, LONG_PATH_CAPACITY))
        plain = PlainName(finalName);
    if (root || IsGuardedFolder(folder, plain)) {
        attempt->refusal = REFUSAL_GUARDED;
        return false;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        attempt->owned = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return true;
    }
    // A file of the destination's name makes every write fail.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    return JudgeFolderContents(destination, attempt);
}

bool RunInstall(HWND dialog, InstallAttempt* attempt)
{
    bool InstallOutcome = true;
    bool withGroup = IsDlgButtonChecked(dialog, IDC_CREATE_GROUP) == BST_CHECKED;
    char target[MAX_PATH];

    attempt->owned = false;
    attempt->refusal = REFUSAL_NONE;
    if (!ReadDestination(dialog, target) || (withGroup && !PrepareGroupFolder()))
        return false;
    // The group folder is the first thing made, so it comes after every decision.
    if (!JudgeDestination(target, attempt) || (GroupFolder != NULL && !CreateGroupFolder())) {
        InstallOutcome = false;
        goto done;
    }
    lstrcpyA(PathBuffer, target);
    if (!EnsureTrailingSeparator()) {
        InstallOutcome = false;
        goto done;
    }
    CreateDirectoryLevels();

    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        const PayloadFile& file = PayloadSet[i];
        const char* name = CARRIED_FILE_NAMES[i];
        InstallOutcome = WritePayloadFile(target, name, file.content, file.length) && InstallOutcome;
        // The program is written even after a failed shortcut; the files before it are not.
        if (i != PAYLOAD_PROGRAM && !InstallOutcome)
            break;
        if (i == PAYLOAD_README)
            RecordPath(&ReadmePath, target);
        if (i == PAYLOAD_PROGRAM)
            RecordPath(&ProgramPath, target);
        if (GroupFolder != NULL && SHORTCUT_DESCRIPTIONS[i] != NULL)
            InstallOutcome =
                CreateShortcut(target, GroupFolder, SHORTCUT_DESCRIPTIONS[i], name) && InstallOutcome;
    }

done:
    ReleaseGroupFolder();
    return InstallOutcome;
}

bool WritePayloadFile(char* target, const char* fileName, const unsigned char* content,
                      unsigned long length)
{
    if (!CopyText(target, MAX_PATH, PathBuffer) || !AppendText(target, MAX_PATH, fileName)) {
        target[0] = '\0';
        return false;
    }
    HANDLE hFile = CreateFileA(target, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(hFile, content, length, &written, NULL);
    CloseHandle(hFile);
    return written == length;
}
