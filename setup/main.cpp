// The installer's entry and its one dialog: destination, three options, "Go!".
#include "../common/elevation.h"
#include "../common/leftcopy.h"
#include "../common/systemdlls.h"
#include "../resources/resource.h"
#include "launch.h"
#include "payload.h"
#include "setup.h"

static HINSTANCE g_instance;

static const char INFORMATION_CAPTION[] = "Information";

// Offers the program-files folder and C:\AmbitKnob, then puts the remembered directory in front.
static void OnInitDialog(HWND dialog)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_SETUP)));
    CheckDlgButton(dialog, IDC_VIEW_README, BST_CHECKED);
    CheckDlgButton(dialog, IDC_RUN_APP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_CREATE_GROUP, BST_CHECKED);

    HWND destination = GetDlgItem(dialog, IDC_DESTINATION);
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                           "ProgramFilesDir")) {
        StripTrailingSeparator();
        // A folder too long to take the suffix is no candidate at all.
        if (AppendToPath(PRODUCT_SUFFIX))
            SendMessageA(destination, CB_ADDSTRING, 0, (LPARAM)PathBuffer);
        else
            PathBuffer[0] = '\0';
    }
    SendMessageA(destination, CB_ADDSTRING, 0, (LPARAM) "C:\\AmbitKnob");
    SetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer);

    if (ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE)) {
        SetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer);
        // An empty text begins every entry; it never becomes an entry of its own.
        if (PathBuffer[0] != '\0' &&
            SendMessageA(destination, CB_FINDSTRING, (WPARAM)-1, (LPARAM)PathBuffer) == CB_ERR)
            SendMessageA(destination, CB_ADDSTRING, 0, (LPARAM)PathBuffer);
    }
}

static void OnBrowse(HWND dialog)
{
    if (!BrowseForDestination(dialog))
        return;
    StripTrailingSeparator();
    if (!ApplyProductSuffix()) {
        // The chosen folder is too deep to hold the product; the field keeps what it had.
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    SetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer);
}

static bool IsChecked(HWND dialog, int optionId)
{
    return IsDlgButtonChecked(dialog, optionId) == BST_CHECKED;
}

static void Launch(HWND dialog, const Launcher* launcher, int optionId, const char* path)
{
    if (IsChecked(dialog, optionId) && path != NULL)
        LaunchFile(launcher, dialog, path);
}

// The installation's entry in the system's list of installed programs, found by the installed
// program's path; the uninstaller deletes it together with the record.
static bool StoreUninstallEntry()
{
    static const char* const NAMES[] = {"DisplayName", "DisplayVersion", "Publisher", "URLInfoAbout",
                                        "DisplayIcon", "InstallLocation", "UninstallString",
                                        "EstimatedSize", "NoModify", "NoRepair"};
    static const DWORD ONE = 1;
    // The installation's folder with its separator is the program's path without "ak.exe".
    int length = ProgramPath != NULL ? lstrlenA(ProgramPath) - 6 : 0;
    char folder[MAX_PATH], command[MAX_PATH + 2];
    if (length <= 0)
        return false;
    lstrcpynA(folder, ProgramPath, length + 1);
    // The uninstaller was written beside the program within MAX_PATH, so its quoted path fits.
    wsprintfA(command, "\"%suninstal.exe\"", folder);
    // A drive's root keeps its separator.
    if (length > 3)
        folder[length - 1] = '\0';
    const char* const texts[] = {"Ambit Knob", "2.00", "Cindertop", MakerAddress, ProgramPath, folder, command};
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, UNINSTALL_ENTRY_KEY, &key) != ERROR_SUCCESS)
        return false;
    LONG status = ERROR_SUCCESS;
    for (int i = 0; i < 10; i++)
        status |= i < 7 ? RegSetValueExA(key, NAMES[i], 0, REG_SZ, (const BYTE*)texts[i], lstrlenA(texts[i]) + 1)
                        : RegSetValueExA(key, NAMES[i], 0, REG_DWORD,
                                         (const BYTE*)(i == 7 ? &PayloadKilobytes : &ONE), sizeof ONE);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// The record the uninstaller finds this installation by: the directory as typed, and the levels
// setup created and the files it found in that folder, then the entry in the list of installed
// programs; false when any of it could not be stored.
static bool StoreInstallRecord(HWND dialog, const InstallAttempt* attempt)
{
    GetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer, sizeof PathBuffer);
    bool stored = WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE, PathBuffer) &&
                  StoreInstallation(attempt->named, &attempt->record) && StoreUninstallEntry();
    ForgetStaleRecord();
    return stored;
}

// The failure box; a refusal instead names the file or folder in the way, so that the user can
// choose another destination.
static void ShowFailure(HWND dialog, const InstallAttempt* attempt)
{
    // What is named is a path that fits MAX_PATH; the text around it takes less.
    char text[1024];
    const char* said = "Error detected. Installation aborted!";
    if (attempt->refusal == REFUSAL_IN_THE_WAY) {
        wsprintfA(text,
                  "Setup cannot install Ambit Knob there. This is not one of its files:\n%S\nSetup does not "
                  "replace it. Please choose another folder.",
                  attempt->named);
        said = text;
    }
    MessageBoxA(dialog, said, INFORMATION_CAPTION, MB_ICONEXCLAMATION | MB_OK);
}

// Set while "Go!" is at work, its message boxes and launches included: their message loops still
// deliver a "Go!" queued meanwhile (clicks, Enter, a posted command), which must not start a second
// install inside the first.
static bool g_going;

static void OnGo(HWND dialog)
{
    if (g_going)
        return;
    g_going = true;
    InstallAttempt attempt;
    if (!RunInstall(dialog, &attempt)) {
        ShowFailure(dialog, &attempt);
        g_going = false;
        return;
    }
    // An elevated setup opens them as the signed-in user, or not at all: with an administrator's
    // full rights they would write files others cannot change, and drag and drop would fail.
    Launcher launcher;
    bool launched = PrepareLaunches(&launcher, IsElevated(), FindDesktopShell) ||
                    !(IsChecked(dialog, IDC_VIEW_README) || IsChecked(dialog, IDC_RUN_APP));
    MessageBoxA(dialog,
                launched ? "Installation was finished successfully!"
                         : "Installation was finished successfully!\nThe readme and Ambit Knob were not opened: setup could "
                           "not start them without administrator rights.",
                INFORMATION_CAPTION, MB_ICONINFORMATION | MB_OK);
    // Said before the readme and the program open, so that neither hides it. The files are in
    // place all the same, so setup still ends with 1.
    if (!StoreInstallRecord(dialog, &attempt))
        MessageBoxA(dialog,
                    "Ambit Knob was installed, but its record could not be stored, so the list of "
                    "installed programs may lack it and the uninstaller may not find it or not remove "
                    "it completely. To remove Ambit Knob, "
                    "delete its folder (and its program group, if one was made) by hand.",
                    INFORMATION_CAPTION, MB_ICONEXCLAMATION | MB_OK);
    Launch(dialog, &launcher, IDC_VIEW_README, ReadmePath);
    Launch(dialog, &launcher, IDC_RUN_APP, ProgramPath);
    ReleaseLaunches(&launcher);
    // g_going stays set: the dialog is ending, and a "Go!" still queued must not install again.
    EndDialog(dialog, 1);
}

static INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnGo(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_BROWSE:
            OnBrowse(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

// Whether each carried file holds the bytes the build embedded; each is hashed once for the whole
// run, as judging a destination asks for the same digests.
static bool PayloadIsWhole()
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        const FileDigest* digest = PayloadDigest(i);
        if (digest == NULL || !SameDigest(digest, &PayloadDigests[i]))
            return false;
    }
    return true;
}

int WINAPI SetupMain(HINSTANCE instance, HINSTANCE, char*, int)
{
    g_instance = instance;
    // A setup.exe damaged on its way would write damaged files: it says so before it touches
    // anything, and ends with 2.
    if (!PayloadIsWhole()) {
        MessageBoxA(NULL, "This setup file is damaged, so nothing was installed. Please get a new copy of it.",
                    INFORMATION_CAPTION, MB_ICONEXCLAMATION | MB_OK);
        return 2;
    }
    RemoveLeftCopy(PayloadDigest(PAYLOAD_UNINSTALLER));
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), NULL, SetupDialogProc, 0);
}

extern "C" void WinMainCRTStartup()
{
    LoadDllsFromSystemOnly();
    ExitProcess(SetupMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()),
                          SW_SHOWDEFAULT));
}
