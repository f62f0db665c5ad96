// The installer's entry and its one dialog: destination, three options, "Go!".
#include "../common/folder.h"
#include "../resources/resource.h"
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

static void Launch(HWND dialog, int optionId, const char* path)
{
    if (IsDlgButtonChecked(dialog, optionId) == BST_CHECKED && path != NULL)
        ShellExecuteA(dialog, "open", path, NULL, NULL, SW_SHOWDEFAULT);
}

// The record the uninstaller finds this installation by, and whether it may remove the folder whole;
// false when any value of it could not be stored. "OwnedDir" is cleared first and set last, so that
// whatever fails, an old one never pairs with the new "InstallDir" to claim a folder the installer
// did not make.
static bool StoreInstallRecord(HWND dialog, bool owned)
{
    GetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer, sizeof PathBuffer);
    return WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, OWNED_DIR_VALUE, "") &&
           WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE, PathBuffer) &&
           (!owned ||
            WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, OWNED_DIR_VALUE, PathBuffer));
}

// The failure box; a refusal instead names the folder, or the file or folder in it, and says why,
// so that the user can choose another destination.
static void ShowFailure(HWND dialog, const InstallAttempt* attempt)
{
    const WCHAR* before = L"Setup cannot install Ambit Knob into\n";
    const WCHAR* after = L"\nIt is a drive, or a folder of the system or of a user, or holds one, and the "
                         L"uninstaller never removes anything from there. Please choose another folder.";
    if (attempt->refusal == REFUSAL_IN_THE_WAY) {
        before = L"Setup cannot install Ambit Knob there. This is not one of its files:\n";
        after = L"\nSetup does not replace it. Please choose another folder.";
    }
    // The texts around what is named take less than MAX_PATH.
    enum { TEXT_CAPACITY = NAMED_CAPACITY + MAX_PATH };
    WCHAR text[TEXT_CAPACITY];
    if (attempt->refusal == REFUSAL_NONE || !CopyWide(text, TEXT_CAPACITY, before) ||
        !AppendWide(text, TEXT_CAPACITY, attempt->named) || !AppendWide(text, TEXT_CAPACITY, after)) {
        MessageBoxA(dialog, "Error detected. Installation aborted!", INFORMATION_CAPTION,
                    MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    MessageBoxW(dialog, text, L"Information", MB_ICONEXCLAMATION | MB_OK);
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
    MessageBoxA(dialog, "Installation was finished successfully!", INFORMATION_CAPTION,
                MB_ICONINFORMATION | MB_OK);
    // Said before the readme and the program open, so that neither hides it. The files are in
    // place all the same, so setup still ends with 1.
    if (!StoreInstallRecord(dialog, attempt.owned))
        MessageBoxA(dialog,
                    "Ambit Knob was installed, but its record could not be stored, so the "
                    "uninstaller may not find it or not remove it completely. To remove Ambit Knob, "
                    "delete its folder (and its program group, if one was made) by hand.",
                    INFORMATION_CAPTION, MB_ICONEXCLAMATION | MB_OK);
    Launch(dialog, IDC_VIEW_README, ReadmePath);
    Launch(dialog, IDC_RUN_APP, ProgramPath);
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

int WINAPI SetupMain(HINSTANCE instance, HINSTANCE, char*, int)
{
    g_instance = instance;
    // Judging a destination looks at every folder of the system and the user: a drive without its
    // disk, or an offline folder, among them must not stop "Go!" with a system error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RemoveLeftCopy();
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), NULL, SetupDialogProc, 0);
}

extern "C" void WinMainCRTStartup()
{
    ExitProcess(SetupMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()),
                          SW_SHOWDEFAULT));
}
