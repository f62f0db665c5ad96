// The install sequence: create the destination and write the carried files into it in order.
#include "../common/folder.h"
#include "../resources/resource.h"
#include "payload.h"
#include "setup.h"

char* ReadmePath;
char* ProgramPath;
bool DestinationOwned;

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

static bool IsCarriedName(const char* name)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        if (_stricmp(name, CARRIED_FILE_NAMES[i]) == 0)
            return true;
    }
    return false;
}

// Whether the folder holds no more than files of the names the installer writes, and so nothing
// of anyone else's. A leftover of a failed attempt is such a folder.
static bool HoldsOnlyCarriedFiles(const char* folder)
{
    char pattern[MAX_PATH];
    if (!CopyText(pattern, sizeof pattern, folder) || !AppendText(pattern, sizeof pattern, "\\*"))
        return false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool onlyCarried = true;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        onlyCarried = !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsCarriedName(name);
    } while (onlyCarried && FindNextFileA(find, &entry));
    FindClose(find);
    return onlyCarried;
}

static bool HoldsFile(const char* folder, const char* name)
{
    char path[MAX_PATH];
    return CopyText(path, sizeof path, folder) && AppendText(path, sizeof path, "\\") &&
           AppendText(path, sizeof path, name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Whether the destination is the installation's own: the install makes it, or it holds nothing but
// the carried files, or an earlier install made it and it still holds the product. Only such a
// folder may later be removed whole; from any other the uninstaller takes only the carried files.
// Uses PathBuffer.
static bool IsOwnDestination(const char* destination)
{
    // The trailing separator a user may have typed would make a different text of the same folder.
    char folder[MAX_PATH];
    CopyText(folder, sizeof folder, destination);
    int length = lstrlenA(folder);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = '\0';

    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (HoldsOnlyCarriedFiles(folder))
        return true;
    return ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, OWNED_DIR_VALUE) &&
           PathBuffer[0] != '\0' && IsSameFolder(PathBuffer, folder) &&
           (HoldsFile(folder, CARRIED_FILE_NAMES[PAYLOAD_UNINSTALLER]) ||
            HoldsFile(folder, CARRIED_FILE_NAMES[PAYLOAD_PROGRAM]));
}

bool RunInstall(HWND dialog)
{
    bool InstallOutcome = true;
    bool withGroup = IsDlgButtonChecked(dialog, IDC_CREATE_GROUP) == BST_CHECKED;
    char target[MAX_PATH];

    if (!ReadDestination(dialog, target))
        return false;
    if (withGroup && !PrepareGroupFolder())
        return false;
    DestinationOwned = IsOwnDestination(target);
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
