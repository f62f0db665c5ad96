// The uninstaller: hands over to a copy of itself in the temporary folder, asks, closes the running
// product, removes what the installation owns of its directory and the program group, and says
// what it left in place and why.
#include "ownership.h"

#include <shellapi.h>

static const char CAPTION[] = "Uninstalling Ambit Knob";
static const char TEMP_COPY_NAME[] = "uninstall.exe";
static const char PRODUCT_WINDOW_CLASS[] = "SimpleClass";
// What becomes of the temporary copy, as the last line of the last box says it.
#define RESTART_LINE " will be deleted after reboot."
#define NEXT_RUN_LINE " will be deleted the next time setup or the uninstaller runs."
#define STAYS_LINE " stays; it can be deleted by hand."

// Handed to the temporary copy by the first stage. A process started with it is the second stage
// whatever its path is spelled like, so it never starts another copy.
static const char RELAUNCH_MARKER[] = "/relaunched";

// How long the running product gets to close its window, and then to end and let go of its files.
enum { PRODUCT_CLOSE_TIMEOUT_MS = 5000 };

// Why a folder was left in place, as the last box says it.
static const char REFUSED_SYSTEM[] = "refused: a drive, or a folder that is or holds a folder of the system or of a user";
static const char REFUSED_FOREIGN[] = "refused: not a folder of Ambit Knob";
static const char HOLDS_OTHERS[] = "kept: it holds files the installer did not write";
static const char NOT_REMOVED[] = "kept: it could not be removed";
static const char NOT_FOUND[] = "not found, so not removed: it was moved, or its drive is not there";

// The folders that were left in place, each with its reason, for the last box.
static char g_kept[4 * MAX_PATH];

// The judging and removal of one recorded folder at a time.
static FolderWalk g_walk;

// The values that record the installation, removed once nothing of it is left.
static const char* const RECORD_VALUES[] = {INSTALL_DIR_VALUE, OWNED_DIR_VALUE};

static void ShowCannotStart()
{
    MessageBoxA(NULL, "The uninstall of Ambit Knob cannot start. Nothing was removed.", CAPTION,
                MB_ICONSTOP | MB_OK);
}

// The full, long spelling of a path, without a trailing separator unless it is a drive root.
static bool NormalisePath(const char* path, char* normal)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full)
        return false;
    // A path that does not exist keeps its full spelling.
    length = GetLongPathNameA(full, normal, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        CopyText(normal, MAX_PATH, full);
    length = lstrlenA(normal);
    if (length > 3 && normal[length - 1] == '\\')
        normal[length - 1] = '\0';
    return true;
}

static bool GetOwnPath(HINSTANCE instance, char* ownPath)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, module, sizeof module);
    // A name that fills the buffer may have been cut short.
    return length > 0 && length < sizeof module && NormalisePath(module, ownPath);
}

// TempCopyPath into PathBuffer.
static bool BuildTempCopyPath()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    PathBuffer[0] = '\0';
    return length > 0 && length < sizeof temp && NormalisePath(temp, PathBuffer) &&
           EnsureTrailingSeparator() && AppendText(PathBuffer, sizeof PathBuffer, TEMP_COPY_NAME);
}

static void NoteKept(const char* folder, const char* subfolder, const char* reason)
{
    AppendText(g_kept, sizeof g_kept, folder);
    if (subfolder != NULL) {
        int length = lstrlenA(g_kept);
        if (length > 0 && g_kept[length - 1] != '\\')
            AppendText(g_kept, sizeof g_kept, "\\");
        AppendText(g_kept, sizeof g_kept, subfolder);
    }
    AppendText(g_kept, sizeof g_kept, "\n    ");
    AppendText(g_kept, sizeof g_kept, reason);
    AppendText(g_kept, sizeof g_kept, "\n");
}

// Removes what the installation owns of the recorded folder, after judging it. Returns why the
// folder stays, as the last box says it, or NULL when nothing of it is left. The installation
// directory holds the product; the program group is only ever the installer's shortcuts.
static const char* RemoveOwned(const char* recorded, bool owned, bool group)
{
    switch (JudgeFolder(&g_walk, recorded, owned, !group)) {
    case VERDICT_ABSENT:
        // A program group that is not there was never made; an installation that is not there
        // was moved, or is on a drive that is gone for now.
        return group ? NULL : NOT_FOUND;
    case VERDICT_REMOVE_WHOLE:
        return DeleteTree(&g_walk) ? NULL : NOT_REMOVED;
    case VERDICT_REMOVE_CARRIED: {
        Leftover left = RemoveCarriedFiles(&g_walk, group);
        return left == LEFT_NOTHING ? NULL : left == LEFT_OTHERS ? HOLDS_OTHERS : NOT_REMOVED;
    }
    case VERDICT_REFUSED_SYSTEM:
        return REFUSED_SYSTEM;
    case VERDICT_REFUSED_FOREIGN:
        return REFUSED_FOREIGN;
    case VERDICT_UNSAFE:
        break;
    }
    return NOT_REMOVED;
}

// The same, with what stays named in the last box.
static void RemoveFolder(const char* recorded, bool owned, bool group)
{
    const char* kept = RemoveOwned(recorded, owned, group);
    if (kept != NULL)
        NoteKept(recorded, NULL, kept);
}

static void RemoveInstallDirectory()
{
    // The installer records the folder a second time when it made it.
    char owned[MAX_PATH];
    ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, OWNED_DIR_VALUE);
    CopyText(owned, sizeof owned, PathBuffer);
    // A missing or empty value leaves nothing to remove.
    if (!ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE) || PathBuffer[0] == '\0')
        return;
    RemoveFolder(PathBuffer, owned[0] != '\0' && _stricmp(owned, PathBuffer) == 0, false);
}

static void RemoveProgramGroup()
{
    // The installer makes no group in a Programs folder that is empty or relative.
    if (!ReadRegistryString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, PROGRAMS_VALUE) ||
        !IsFullyQualifiedPath(PathBuffer))
        return;
    if (!EnsureTrailingSeparator() || !AppendText(PathBuffer, sizeof PathBuffer, GROUP_FOLDER_NAME)) {
        NoteKept(PathBuffer, GROUP_FOLDER_NAME, NOT_REMOVED);
        return;
    }
    // The installer may have found a folder of that name, and a user may have put things of their own
    // into it: the group loses its shortcuts, and goes when nothing else is left in it.
    RemoveFolder(PathBuffer, false, true);
}

// Closes the first product window found. One that does not answer must not hold up the uninstall.
static void CloseProduct()
{
    HWND window = FindWindowA(PRODUCT_WINDOW_CLASS, NULL);
    if (window == NULL)
        return;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    DWORD_PTR result;
    // Once its window has gone, the program ends and lets go of its files.
    if (SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, PRODUCT_CLOSE_TIMEOUT_MS, &result) &&
        process != NULL)
        WaitForSingleObject(process, PRODUCT_CLOSE_TIMEOUT_MS);
    if (process != NULL)
        CloseHandle(process);
}

// What becomes of the temporary copy once this run ends.
enum CopyFate {
    COPY_GOES_AT_RESTART,
    COPY_GOES_AT_NEXT_RUN,
    COPY_STAYS,
};

// Ends a box's text with the line that says what becomes of the temporary copy.
static void AppendRestartLine(char* text, int capacity, const char* ownPath, CopyFate fate)
{
    const char* line = fate == COPY_GOES_AT_RESTART     ? RESTART_LINE
                       : fate == COPY_GOES_AT_NEXT_RUN ? NEXT_RUN_LINE
                                                       : STAYS_LINE;
    AppendText(text, capacity,
               lstrlenA(text) + lstrlenA(ownPath) + lstrlenA(line) < capacity ? ownPath
                                                                           : "The uninstaller's temporary copy");
    AppendText(text, capacity, line);
}

static void ShowOutcome(const char* ownPath, CopyFate fate)
{
    if (g_kept[0] != '\0') {
        static char text[sizeof g_kept + 2 * MAX_PATH];
        CopyText(text, sizeof text, "Ambit Knob was not removed completely. Left in place:\n");
        AppendText(text, sizeof text, g_kept);
        AppendText(text, sizeof text, "Nothing outside the installation was touched.\n");
        AppendRestartLine(text, sizeof text, ownPath, fate);
        MessageBoxA(NULL, text, CAPTION, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    // Nothing of the installation is left: neither a later run nor the waiting copy may find a
    // record that names whatever a user puts at that path later.
    DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, RECORD_VALUES, 2);
    CopyText(PathBuffer, sizeof PathBuffer, "Success!\n");
    AppendRestartLine(PathBuffer, sizeof PathBuffer, ownPath, fate);
    MessageBoxA(NULL, PathBuffer, CAPTION, MB_ICONINFORMATION | MB_OK);
}

// Runs from the installation directory: a copy in the temporary folder can delete it.
static void RunFirstStage(const char* ownPath)
{
    RemoveLeftCopy();
    // Whatever already lies at the temporary path (an old or planted file) is not started instead.
    if (!CopyFileA(ownPath, PathBuffer, FALSE)) {
        ShowCannotStart();
        return;
    }
    // The copy works from the temporary folder: a current directory inside the installation would
    // keep that directory from being removed.
    char folder[MAX_PATH];
    CopyText(folder, sizeof folder, PathBuffer);
    folder[lstrlenA(folder) - (sizeof TEMP_COPY_NAME - 1)] = '\0';
    ShellExecuteA(NULL, "open", PathBuffer, RELAUNCH_MARKER, folder, SW_SHOWDEFAULT);
}

static void RunSecondStage(const char* ownPath)
{
    // Without administrator rights the system takes no file to delete at restart; a later run of
    // setup or of the uninstaller then deletes the copy, found by its record.
    CopyFate fate = MoveFileExA(ownPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) ? COPY_GOES_AT_RESTART
                    : RecordLeftCopy(ownPath)                                ? COPY_GOES_AT_NEXT_RUN
                                                                             : COPY_STAYS;
    if (MessageBoxA(NULL, "Are you sure you want to uninstall Ambit Knob?", CAPTION,
                    MB_ICONQUESTION | MB_OKCANCEL) != IDOK)
        return;
    CloseProduct();
    RemoveInstallDirectory();
    RemoveProgramGroup();
    ShowOutcome(ownPath, fate);
}

// Whether this program runs from inside the recorded installation, which it cannot remove while it
// runs there. Uses PathBuffer.
static bool RunsInsideInstallation(const char* ownPath)
{
    return ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE) && PathBuffer[0] != '\0' &&
           IsInsideFolder(PathBuffer, ownPath);
}

int WINAPI UninstallMain(HINSTANCE instance, HINSTANCE, char* commandTail, int)
{
    // A drive without its disk, or an offline folder, among the many folders the guard looks at
    // must not stop the uninstall with a system error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    char ownPath[MAX_PATH];
    if (!GetOwnPath(instance, ownPath)) {
        ShowCannotStart();
        return 0;
    }
    // Told it is the second stage, a copy still hands over when it runs inside the folder to remove.
    bool relaunched = _stricmp(commandTail, RELAUNCH_MARKER) == 0;
    bool inPlace = relaunched && RunsInsideInstallation(ownPath);
    bool haveTempCopyPath = BuildTempCopyPath();
    bool isTempCopy = haveTempCopyPath && _stricmp(PathBuffer, ownPath) == 0;
    if (isTempCopy || (relaunched && !inPlace))
        RunSecondStage(ownPath);
    else if (haveTempCopyPath)
        RunFirstStage(ownPath);
    else
        ShowCannotStart();
    return 0;
}

extern "C" void WinMainCRTStartup()
{
    ExitProcess(UninstallMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()),
                              SW_SHOWDEFAULT));
}
