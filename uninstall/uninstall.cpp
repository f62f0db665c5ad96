// The uninstaller: hands over to a temporary copy, which removes the installation and says what stayed and why.
#include "../common/elevation.h"
#include "../common/leftcopy.h"
#include "../common/ownfile.h"
#include "../common/registry.h"
#include "../common/startup.h"
#include "../common/text.h"
#include "removal.h"
#include "tempcopy.h"

static const WCHAR CAPTION[] = L"Uninstalling Ambit Knob";
static const WCHAR PRODUCT_WINDOW_CLASS[] = L"SimpleClass";
// What becomes of the temporary copy, as the last line of the last box says it.
#define RESTART_LINE " will be deleted after reboot."
#define NEXT_RUN_LINE " will be deleted the next time setup or the uninstaller runs."
#define STAYS_LINE " stays; it can be deleted by hand."

// Handed to the temporary copy by the first stage, with the installation's folder after it. A
// process started with it is the second stage whatever its path is spelled like, so it never starts
// another copy.
static const WCHAR RELAUNCH_MARKER[] = L"/relaunched";

// How long the running product gets to close its window, and then to end and let go of its files.
enum { PRODUCT_CLOSE_TIMEOUT_MS = 5000 };

// What becomes of the temporary copy once this run ends.
enum CopyFate {
    COPY_GOES_AT_RESTART,
    COPY_GOES_AT_NEXT_RUN,
    COPY_STAYS,
};

// Everything one run works with.
struct Run {
    WCHAR ownPath[MAX_PATH];
    WCHAR temp[MAX_PATH];     // the temporary folder, without a separator at its end
    WCHAR tempCopy[MAX_PATH]; // the copy the first stage starts, or the second stage itself
    WCHAR handed[MAX_PATH];   // the installation the first stage was started from; empty when none was handed
    Installation installation;
    KeptList kept;
    WCHAR recorded[MAX_PATH];  // the folder "InstallDir" names
    WCHAR valueName[MAX_PATH]; // the name the installation's record is stored under
    WCHAR still[MAX_PATH];     // the installation still recorded and there afterwards, for the last box
    bool elevated;
};

static void ShowCannotStart()
{
    MessageBoxW(NULL, L"The uninstall of Ambit Knob cannot start. Nothing was removed.", CAPTION, MB_ICONSTOP | MB_OK);
}

// The full path of this program, in its long spelling.
static bool GetOwnPath(WCHAR* ownPath)
{
    WCHAR module[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, module, MAX_PATH);
    // A name that fills the buffer may have been cut short.
    if (length == 0 || length >= MAX_PATH)
        return false;
    length = GetLongPathNameW(module, ownPath, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

// Reads what follows the relaunch marker: the installation's folder, quoted. False when the tail
// does not start with the marker.
static bool ReadHandedFolder(const WCHAR* tail, WCHAR* folder)
{
    int length = lstrlenW(RELAUNCH_MARKER);
    folder[0] = L'\0';
    if (CompareStringOrdinal(tail, lstrlenW(tail) < length ? -1 : length, RELAUNCH_MARKER, length, TRUE) !=
            CSTR_EQUAL ||
        (tail[length] != L'\0' && tail[length] != L' '))
        return false;
    const WCHAR* p = tail + length;
    while (*p == L' ')
        p++;
    if (*p++ != L'"')
        return true;
    int end = 0;
    while (p[end] != L'\0' && p[end] != L'"')
        end++;
    if (p[end] != L'"' || end >= MAX_PATH)
        return true;
    CopyMemory(folder, p, end * sizeof(WCHAR));
    folder[end] = L'\0';
    return true;
}

// The folder this program lies in.
static void GetOwnFolder(const WCHAR* ownPath, WCHAR* folder)
{
    CopyWide(folder, MAX_PATH, ownPath);
    CutToParent(folder);
}

// Whether the window belongs to Ambit Knob running from the installation's folder, told by the
// folder's identity: another program may use the same window class, and another installation's
// Ambit Knob is not this one.
static bool RunsFromInstallation(HWND window, const FileIdentity* folder, HANDLE* process)
{
    WCHAR image[MAX_PATH];
    DWORD processId = 0, length = MAX_PATH;
    FileIdentity identity;
    GetWindowThreadProcessId(window, &processId);
    *process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (*process == NULL)
        return false;
    if (QueryFullProcessImageNameW(*process, 0, image, &length)) {
        CutToParent(image);
        if (GetIdentity(image, &identity) && SameIdentity(&identity, folder))
            return true;
    }
    CloseHandle(*process);
    return false;
}

// Closes every window of Ambit Knob running from the installation, and waits for each to end and let
// go of its files. One that does not answer must not hold up the uninstall.
static void CloseProduct(const WCHAR* folder)
{
    FileIdentity identity;
    if (!GetIdentity(folder, &identity))
        return;
    // Listed first: a closed window can no longer lead the search to the next one.
    HWND windows[32];
    int count = 0;
    for (HWND window = NULL; count < 32 && (window = FindWindowExW(NULL, window, PRODUCT_WINDOW_CLASS, NULL)) != NULL;)
        windows[count++] = window;
    for (int i = 0; i < count; i++) {
        HANDLE process;
        DWORD_PTR result;
        if (!RunsFromInstallation(windows[i], &identity, &process))
            continue;
        if (SendMessageTimeoutW(windows[i], WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, PRODUCT_CLOSE_TIMEOUT_MS, &result))
            WaitForSingleObject(process, PRODUCT_CLOSE_TIMEOUT_MS);
        CloseHandle(process);
    }
}

// Whether this run may open a folder the user's registry or command line names: an elevated run
// opens no share or device path, which the system would reach with the administrator's rights.
static bool IsUsableName(bool elevated, const WCHAR* folder) { return !elevated || IsLocalFullPath(folder); }

// The recorded installation's folder, as a full path, into `folder`; false when none is recorded
// that a folder could be found by.
static bool ReadRecordedFolder(bool elevated, WCHAR* folder)
{
    WCHAR recorded[MAX_PATH];
    if (ReadRegistryText(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE, recorded, MAX_PATH) &&
        IsFullyQualifiedPath(recorded) && GetRecordName(recorded, folder, MAX_PATH) && IsUsableName(elevated, folder))
        return true;
    folder[0] = L'\0';
    return false;
}

// Ends a box's text with the line that says what becomes of the temporary copy.
static void AppendCopyLine(WCHAR* text, int capacity, const WCHAR* copy, CopyFate fate)
{
    const char* line = fate == COPY_GOES_AT_RESTART    ? RESTART_LINE
                       : fate == COPY_GOES_AT_NEXT_RUN ? NEXT_RUN_LINE
                                                       : STAYS_LINE;
    if (!AppendWide(text, capacity, copy) || !AppendAnsi(text, capacity, line)) {
        AppendAnsi(text, capacity, "The uninstaller's temporary copy");
        AppendAnsi(text, capacity, line);
    }
}

// The last box: what was removed from `folder` (empty when no installation was found), what stayed
// and why, and where Ambit Knob is still installed.
static void ShowOutcome(const WCHAR* folder, const KeptList* kept, const WCHAR* still, const WCHAR* copy, CopyFate fate)
{
    // Static for the frame limit: the box's text is larger than the frame the build allows.
    static WCHAR text[sizeof kept->text / sizeof(WCHAR) + 4 * MAX_PATH];
    enum { CAPACITY = sizeof text / sizeof text[0] };
    bool complete = !kept->packageLeft;
    text[0] = L'\0';
    if (folder[0] == L'\0') {
        AppendAnsi(text, CAPACITY, "No installation of Ambit Knob is recorded. Nothing was removed.\n");
        AppendCopyLine(text, CAPACITY, copy, fate);
        MessageBoxW(NULL, text, CAPTION, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    AppendAnsi(text, CAPACITY, complete ? "Success!\n" : "Ambit Knob was not removed completely. Left in place:\n");
    // Folders kept only for what is not Ambit Knob's are no failure, but the user should know why.
    if (complete && kept->text[0] != L'\0')
        AppendAnsi(text, CAPACITY, "These folders stay for what is not Ambit Knob's:\n");
    AppendWide(text, CAPACITY, kept->text);
    if (still[0] != L'\0') {
        AppendAnsi(text, CAPACITY, "This uninstalled Ambit Knob from\n");
        AppendWide(text, CAPACITY, folder);
        AppendAnsi(text, CAPACITY, "\nIt is still installed in\n");
        AppendWide(text, CAPACITY, still);
        AppendAnsi(text, CAPACITY, "\nwhose own uninstaller removes it.\n");
    }
    if (!complete)
        AppendAnsi(text, CAPACITY, "Nothing outside the installation was touched.\n");
    AppendCopyLine(text, CAPACITY, copy, fate);
    MessageBoxW(NULL, text, CAPTION, (complete ? MB_ICONINFORMATION : MB_ICONEXCLAMATION) | MB_OK);
}

// An installation on a drive the user mapped or substituted without elevation: an elevated run does
// not see it, and removing nothing keeps its record for a run that does.
static void ShowUnseenDrive(WCHAR letter, const WCHAR* copy, CopyFate fate)
{
    // Static for the frame limit: the box's text is larger than the frame the build allows.
    static WCHAR text[3 * MAX_PATH];
    WCHAR drive[] = {letter, L':', L'\0'};
    CopyWide(text, 3 * MAX_PATH, L"Ambit Knob is installed on drive ");
    AppendWide(text, 3 * MAX_PATH, drive);
    AppendAnsi(text, 3 * MAX_PATH,
               ", which this uninstaller, running as administrator, cannot see. Nothing was "
               "removed. Make the drive available to administrators too, then run the uninstaller "
               "again.\n");
    AppendCopyLine(text, 3 * MAX_PATH, copy, fate);
    MessageBoxW(NULL, text, CAPTION, MB_ICONEXCLAMATION | MB_OK);
}

// Whether the record names an installation that is there: its folder, with the identity recorded.
static bool IsThere(const WCHAR* valueName, const InstallationRecord* record)
{
    FileIdentity identity;
    return GetIdentity(valueName, &identity) && RecordApplies(record, valueName, valueName, &identity);
}

// The most recent installation still recorded and there, into `still`; empty when there is none.
static void FindMostRecent(bool elevated, WCHAR* still)
{
    WCHAR valueName[MAX_PATH];
    InstallationRecord record;
    DWORD latest = 0;
    still[0] = L'\0';
    for (DWORD index = 0; NextInstallation(&index, valueName, &record);)
        if ((still[0] == L'\0' || record.order >= latest) && IsUsableName(elevated, valueName) &&
            IsThere(valueName, &record)) {
            latest = record.order;
            CopyWide(still, MAX_PATH, valueName);
        }
}

// Forgets the removed installation: its record and its entry in the list of installed programs.
// "InstallDir", when it named this one, moves to the most recent installation still there. `still`
// gets the installation "InstallDir" names afterwards, when it is not this one and is there.
static void ForgetRemoved(const Run* run, bool recordedIsRemoved, WCHAR* still)
{
    static const WCHAR* const RECORD_VALUES[] = {INSTALL_DIR_VALUE};
    if (ForgetInstallation(run->valueName))
        ForgetEntry(&run->installation.record, run->valueName);
    if (recordedIsRemoved) {
        FindMostRecent(run->elevated, still);
        if (still[0] == L'\0' || !WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE, still))
            DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, RECORD_VALUES, 1);
    }
}

// Hands over to a copy in a new folder of its own in the temporary folder, which can empty the
// installation's folder; the copy is held through a handle that lets no one change or delete it until
// it has started from that very path.
static void RunFirstStage(Run* run)
{
    // Static for the frame limit: three paths and the marker.
    static WCHAR s_command[3 * MAX_PATH + 32];
    enum { CAPACITY = sizeof s_command / sizeof s_command[0] };
    RemoveLeftCopy(&run->installation.uninstaller);
    WCHAR folder[MAX_PATH];
    GetOwnFolder(run->ownPath, folder);
    HANDLE held = MakeCopyFolder(run->temp, IsElevated(), run->tempCopy);
    OpenedFile copy = {INVALID_HANDLE_VALUE, 0};
    bool ready = held != INVALID_HANDLE_VALUE && CopyFileW(run->ownPath, run->tempCopy, TRUE) &&
                 OpenAsItself(run->tempCopy, false, true, &copy) == OPENED &&
                 HoldsDigest(&copy, &run->installation.uninstaller) && CopyWide(s_command, CAPACITY, L"\"") &&
                 AppendWide(s_command, CAPACITY, run->tempCopy) && AppendWide(s_command, CAPACITY, L"\" ") &&
                 AppendWide(s_command, CAPACITY, RELAUNCH_MARKER) && AppendWide(s_command, CAPACITY, L" \"") &&
                 AppendWide(s_command, CAPACITY, folder) && AppendWide(s_command, CAPACITY, L"\"");
    // The copy works from its own folder: a current directory inside the installation would keep
    // that folder from being removed.
    GetOwnFolder(run->tempCopy, folder);
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION started;
    ready = ready && CreateProcessW(run->tempCopy, s_command, NULL, NULL, FALSE, 0, NULL, folder, &startup, &started);
    if (copy.handle != INVALID_HANDLE_VALUE)
        CloseHandle(copy.handle);
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    if (!ready) {
        // A copy made but not started is left to a later run, as the second stage leaves its own.
        if (held != INVALID_HANDLE_VALUE)
            RecordLeftCopy();
        ShowCannotStart();
        return;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

// What becomes of the second stage's own file. The system deletes at restart by path, whatever the
// path names then: only a copy in a folder the user's other programs cannot change goes then; another
// in the temporary folder is left to a later run, and one elsewhere is the user's to delete.
static CopyFate DecideCopyFate(const WCHAR* ownPath, CopyPlace place)
{
    WCHAR folder[MAX_PATH];
    GetOwnFolder(ownPath, folder);
    bool keepsOthersOut = false;
    if (place == PLACE_OWN_FOLDER && IsElevated()) {
        HANDLE handle = CreateFileW(folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        keepsOthersOut = handle != INVALID_HANDLE_VALUE && FolderKeepsOthersOut(handle);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    if (DeleteCopyAtRestart(ownPath, keepsOthersOut, MoveFileExW))
        return COPY_GOES_AT_RESTART;
    return place != PLACE_ELSEWHERE && RecordLeftCopy() ? COPY_GOES_AT_NEXT_RUN : COPY_STAYS;
}

static void RunSecondStage(Run* run, CopyPlace place)
{
    CopyWide(run->tempCopy, MAX_PATH, run->ownPath);
    CopyFate fate = DecideCopyFate(run->ownPath, place);
    if (MessageBoxW(NULL, L"Are you sure you want to uninstall Ambit Knob?", CAPTION, MB_ICONQUESTION | MB_OKCANCEL) !=
        IDOK)
        return;
    Installation* installation = &run->installation;
    WCHAR* recorded = run->recorded;
    WCHAR* valueName = run->valueName;
    WCHAR* still = run->still;
    InstallationRecord other;
    ReadRecordedFolder(run->elevated, recorded);
    // The installation it was started from; only a copy started by hand goes by the record.
    if (run->handed[0] == L'\0' || !GetRecordName(run->handed, installation->folder, MAX_PATH))
        CopyWide(installation->folder, MAX_PATH, recorded);
    if (!IsUsableName(run->elevated, installation->folder))
        installation->folder[0] = L'\0';
    WCHAR unseen = UnseenDriveLetter(run->elevated, installation->folder, GetDriveTypeW);
    if (unseen != 0) {
        ShowUnseenDrive(unseen, run->tempCopy, fate);
        return;
    }
    bool recordedIsRemoved = recorded[0] == L'\0' || IsSameFolder(installation->folder, recorded);
    // "Still installed" is said only of an installation whose files are there.
    still[0] = L'\0';
    if (!recordedIsRemoved && FindInstallation(recorded, &other, valueName) && IsThere(valueName, &other))
        CopyWide(still, MAX_PATH, recorded);
    // Only a folder setup recorded as an installation is one. Any other, named by a record any
    // program may write or holding a copy the user made of an installation, may hold the user's own
    // copies of the package's files: nothing is removed from it.
    if (!FindInstallation(installation->folder, &installation->record, valueName)) {
        ForgetStaleRecords(installation->folder);
        installation->folder[0] = L'\0';
        ForgetStaleRecord();
        ShowOutcome(installation->folder, &run->kept, still, run->tempCopy, fate);
        return;
    }
    CloseProduct(installation->folder);
    ReadGroupFolder(installation->group);
    RemoveInstallation(installation, &run->kept);
    if (!run->kept.packageLeft)
        ForgetRemoved(run, recordedIsRemoved, still);
    ForgetStaleRecord();
    ShowOutcome(installation->folder, &run->kept, still, run->tempCopy, fate);
}

// The command-line tail after the program's name and the blanks that follow it.
static const WCHAR* SkipProgramName(const WCHAR* commandLine)
{
    const WCHAR* p = commandLine;
    if (*p == L'"') {
        p++;
        while (*p && *p != L'"')
            p++;
        if (*p == L'"')
            p++;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            p++;
    }
    while (*p == L' ' || *p == L'\t')
        p++;
    return p;
}

int ProgramMain(HINSTANCE)
{
    // Static for the frame limit: one run's paths and lists are larger than the frame the build allows.
    static Run s_run;
    Run* run = &s_run;
    // A drive without its disk must not stop the uninstall with a system error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE own = INVALID_HANDLE_VALUE;
    if (GetOwnPath(run->ownPath))
        own =
            CreateFileW(run->ownPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    bool known = own != INVALID_HANDLE_VALUE && DigestOpenFile(own, &run->installation.uninstaller);
    CloseHandle(own);
    if (!known) {
        ShowCannotStart();
        return 0;
    }
    run->elevated = IsElevated();
    bool relaunched = ReadHandedFolder(SkipProgramName(GetCommandLineW()), run->handed);
    bool haveTemp = GetTempFolder(run->temp, MAX_PATH);
    CopyPlace place = haveTemp ? GetCopyPlace(run->ownPath, run->temp) : PLACE_ELSEWHERE;
    bool isTempCopy = place != PLACE_ELSEWHERE;
    // Told it is the second stage, a copy still hands over when it runs inside the folder to remove.
    WCHAR folder[MAX_PATH];
    FileIdentity target;
    if (run->handed[0] != L'\0')
        CopyWide(folder, MAX_PATH, run->handed);
    else
        ReadRecordedFolder(run->elevated, folder);
    bool inPlace = relaunched && !isTempCopy && folder[0] != L'\0' && IsUsableName(run->elevated, folder) &&
                   GetIdentity(folder, &target) && IsAtOrAbove(&target, run->ownPath);
    if (isTempCopy || (relaunched && !inPlace))
        RunSecondStage(run, place);
    else if (haveTemp)
        RunFirstStage(run);
    else
        ShowCannotStart();
    return 0;
}
