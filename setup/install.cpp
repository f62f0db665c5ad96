// The install sequence: judge the destination, then create it and write the carried files into it
// in order.
#include "../common/folder.h"
#include "../common/ownfile.h"
#include "../resources/resource.h"
#include "payload.h"
#include "setup.h"

char* ReadmePath;
char* ProgramPath;

// What this run of setup made at its last destination. A retry after a failed attempt finds those
// files and folders there: they are setup's own, neither the user's copies nor there before.
static struct {
    WCHAR name[MAX_PATH]; // the destination's record name
    DWORD written;        // bit i: carried file i written by this run
    DWORD createdLevels;
} s_session;

const FileDigest* PayloadDigest(int index)
{
    static FileDigest s_digests[PAYLOAD_COUNT];
    static bool s_taken[PAYLOAD_COUNT];
    const PayloadFile& file = PayloadSet[index];
    if (!s_taken[index])
        s_taken[index] = DigestBytes(file.content, file.length, &s_digests[index]);
    return s_taken[index] ? &s_digests[index] : NULL;
}

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

// Reads the destination field into a buffer of MAX_PATH + 1 characters; only a fully qualified
// path that fits MAX_PATH is a place the installer may write to and the uninstaller can find again.
static bool ReadDestination(HWND dialog, char* destination)
{
    return GetDlgItemTextA(dialog, IDC_DESTINATION, destination, MAX_PATH + 1) < MAX_PATH &&
           IsFullyQualifiedPath(destination);
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

// Decides, before anything is written, which carried files setup writes (the absent ones, in
// `toWrite`) and which it leaves as they are: those that hold the package's own bytes. Anything else
// of a carried name is the user's and refuses the destination, named. In the recorded installation
// the files setup leaves are the earlier install's; anywhere else they are the user's copies, which
// the record keeps as found. Changes nothing on disk; another destination than the last attempt's
// starts the run's memory afresh.
static bool JudgeDestination(const char* destination, InstallAttempt* attempt, DWORD* toWrite)
{
    WCHAR* folder = attempt->named;
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, destination, -1, wide, MAX_PATH) == 0 ||
        !GetRecordName(wide, folder, MAX_PATH))
        return false;
    // A name the system takes for a device ("D:\AK2\NUL" is "\\.\NUL") is no folder.
    if (folder[0] == L'\\' && folder[1] == L'\\' && (folder[2] == L'.' || folder[2] == L'?'))
        return false;

    if (!SameText(s_session.name, -1, folder, -1)) {
        CopyWide(s_session.name, MAX_PATH, folder);
        s_session.written = 0;
        s_session.createdLevels = 0;
    }
    InstallationRecord recorded;
    bool known = FindInstallation(folder, &recorded);
    DWORD levels = CountMissingLevels(folder);
    // The recorded installation is still there when a file it wrote is; a folder of its name that
    // holds none may be one the user made again, and is theirs.
    bool earlierThere = false;
    attempt->record.foundFiles = 0;
    *toWrite = 0;

    // The folder's path and a separator, then each carried name after it in turn.
    WCHAR path[MAX_PATH];
    CopyWide(path, MAX_PATH, folder);
    int length = TrimmedLength(path);
    path[length++] = L'\\';
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        DWORD bit = 1 << i;
        // A name past the longest path cannot be there, and its write fails.
        OpenedFile file;
        bool fits = length < MAX_PATH &&
                    MultiByteToWideChar(CP_ACP, 0, CARRIED_FILE_NAMES[i], -1, path + length, MAX_PATH - length) > 0;
        OpenOutcome opened = fits ? OpenAsItself(path, false, false, &file) : OPEN_ABSENT;
        if (opened == OPEN_ABSENT) {
            *toWrite |= bit;
            continue;
        }
        const FileDigest* digest = opened == OPENED ? PayloadDigest(i) : NULL;
        bool own = digest != NULL && HoldsDigest(&file, digest);
        if (opened == OPENED)
            CloseHandle(file.handle);
        if (!own) {
            attempt->refusal = REFUSAL_IN_THE_WAY;
            CopyWide(attempt->named, MAX_PATH, path);
            return false;
        }
        if (!(s_session.written & bit) && (!known || (recorded.foundFiles & bit)))
            attempt->record.foundFiles |= bit;
        else if (!(s_session.written & bit))
            earlierThere = true;
    }
    if (levels == 0 && earlierThere)
        levels = recorded.createdLevels;
    if (s_session.createdLevels > levels)
        levels = s_session.createdLevels;
    attempt->record.createdLevels = levels;
    return true;
}

typedef BOOL(WINAPI* SetThreadErrorModeFunction)(DWORD mode, DWORD* oldMode);

// Judging looks at drives that may be without their disk: that must not stop "Go!" with a system
// error box. Only this thread and only while judging, so that the readme viewer and the program
// setup starts afterwards behave as usual. Windows Vista has no such call; there the box may show.
static bool JudgeQuietly(const char* destination, InstallAttempt* attempt, DWORD* toWrite)
{
    SetThreadErrorModeFunction setMode =
        (SetThreadErrorModeFunction)GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadErrorMode");
    DWORD oldMode = 0;
    if (setMode != NULL)
        setMode(SEM_FAILCRITICALERRORS, &oldMode);
    bool judged = JudgeDestination(destination, attempt, toWrite);
    if (setMode != NULL)
        setMode(oldMode, NULL);
    return judged;
}

// Writes a new file only, never through one that is there (a hard link, a link, another program's).
// One that cannot be written whole is deleted again, so that a retry finds its name free.
static bool WritePayloadFile(const char* target, int index)
{
    const PayloadFile& file = PayloadSet[index];
    HANDLE hFile =
        CreateFileA(target, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(hFile, file.content, file.length, &written, NULL);
    bool whole = written == file.length;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (whole)
        s_session.written |= 1 << index;
    else
        SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(hFile);
    return whole;
}

bool RunInstall(HWND dialog, InstallAttempt* attempt)
{
    bool InstallOutcome = true;
    bool withGroup = IsDlgButtonChecked(dialog, IDC_CREATE_GROUP) == BST_CHECKED;
    char target[MAX_PATH + 1];
    DWORD toWrite;

    attempt->refusal = REFUSAL_NONE;
    if (!ReadDestination(dialog, target) || (withGroup && !PrepareGroupFolder()))
        return false;
    // The group folder is the first thing made, so it comes after every decision. The files go into
    // the folder as the system names it, which every later step of setup and the uninstaller uses.
    if (!JudgeQuietly(target, attempt, &toWrite) || (GroupFolder != NULL && !CreateGroupFolder()) ||
        WideCharToMultiByte(CP_ACP, 0, attempt->named, -1, PathBuffer, MAX_PATH, NULL, NULL) == 0 ||
        !EnsureTrailingSeparator()) {
        InstallOutcome = false;
        goto done;
    }
    s_session.createdLevels = attempt->record.createdLevels;
    CreateDirectoryLevels();

    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        const char* name = CARRIED_FILE_NAMES[i];
        bool placed = CopyText(target, MAX_PATH, PathBuffer) && AppendText(target, MAX_PATH, name);
        if (placed && (toWrite & 1 << i)) {
            placed = WritePayloadFile(target, i);
            // A name taken since it was judged free, or a link to nothing, which the system may
            // take for no file at all, is not the package's: it is named as anything in the way.
            if (!placed && GetLastError() == ERROR_FILE_EXISTS &&
                MultiByteToWideChar(CP_ACP, 0, target, -1, attempt->named, MAX_PATH) > 0)
                attempt->refusal = REFUSAL_IN_THE_WAY;
        }
        InstallOutcome = placed && InstallOutcome;
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
