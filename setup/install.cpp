// The install sequence: create the destination and write the carried files into it in order.
#include "../common/pathbuf.h"
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

bool RunInstall(HWND dialog)
{
    bool InstallOutcome = true;
    bool withGroup = IsDlgButtonChecked(dialog, IDC_CREATE_GROUP) == BST_CHECKED;
    char target[MAX_PATH];

    if (!ReadDestination(dialog, target))
        return false;
    if (withGroup && !PrepareGroupFolder())
        return false;
    lstrcpyA(PathBuffer, target);
    if (!EnsureTrailingSeparator()) {
        InstallOutcome = false;
        goto done;
    }
    CreateDirectoryLevels();

    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        const PayloadFile& file = PayloadSet[i];
        InstallOutcome = WritePayloadFile(target, file.name, file.content, file.length) && InstallOutcome;
        // The program is written even after a failed shortcut; the files before it are not.
        if (i != PAYLOAD_PROGRAM && !InstallOutcome)
            break;
        if (i == PAYLOAD_README)
            RecordPath(&ReadmePath, target);
        if (i == PAYLOAD_PROGRAM)
            RecordPath(&ProgramPath, target);
        if (GroupFolder != NULL && SHORTCUT_DESCRIPTIONS[i] != NULL)
            InstallOutcome =
                CreateShortcut(target, GroupFolder, SHORTCUT_DESCRIPTIONS[i], file.name) && InstallOutcome;
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
