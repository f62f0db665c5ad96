// The installer's entry and its one dialog: destination, three options, "Go!".
#include "../common/elevation.h"
#include "../common/leftcopy.h"
#include "../common/pathbuf.h"
#include "../common/registry.h"
#include "../common/startup.h"
#include "../common/text.h"
#include "../resources/resource.h"
#include "browse.h"
#include "elevated.h"
#include "install.h"
#include "launch.h"
#include "payload.h"

static HINSTANCE g_instance;

static const WCHAR INFORMATION_CAPTION[] = L"Information";
static const char CODE_PAGE_TEXT[] = "Setup cannot install Ambit Knob into a folder whose name has characters "
                                     "that this system's code page cannot hold. Please choose another folder.";

// Shows a box of the installer's own text, widened: the texts take half the room as ANSI, and every
// box goes through the one wide call.
static void ShowBox(HWND owner, const char* text, UINT type)
{
    WCHAR wide[512] = L"";
    AppendAnsi(wide, 512, text);
    MessageBoxW(owner, wide, INFORMATION_CAPTION, type);
}

// Offers the program-files folder and C:\AmbitKnob, then puts the remembered directory in front.
static void OnInitDialog(HWND dialog)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_SETUP)));
    CheckDlgButton(dialog, IDC_VIEW_README, BST_CHECKED);
    CheckDlgButton(dialog, IDC_RUN_APP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_CREATE_GROUP, BST_CHECKED);

    HWND destination = GetDlgItem(dialog, IDC_DESTINATION);
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir")) {
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
        if (PathBuffer[0] != '\0' && SendMessageA(destination, CB_FINDSTRING, (WPARAM)-1, (LPARAM)PathBuffer) == CB_ERR)
            SendMessageA(destination, CB_ADDSTRING, 0, (LPARAM)PathBuffer);
    }
}

// The picker's choice with the product's suffix, into the field. A folder whose name the code page
// cannot hold, or one too deep to take the suffix, leaves the field as it was.
static void OnBrowse(HWND dialog)
{
    WCHAR chosen[MAX_PATH];
    BOOL lossy = FALSE;
    if (!BrowseForDestination(dialog, chosen))
        return;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chosen, -1, PathBuffer, MAX_PATH, NULL, &lossy) == 0 ||
        lossy) {
        ShowBox(dialog, CODE_PAGE_TEXT, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    StripTrailingSeparator();
    if (!ApplyProductSuffix()) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    SetDlgItemTextA(dialog, IDC_DESTINATION, PathBuffer);
}

static bool IsChecked(HWND dialog, int optionId) { return IsDlgButtonChecked(dialog, optionId) == BST_CHECKED; }

static void Launch(HWND dialog, const Launcher* launcher, int optionId, const char* path)
{
    if (IsChecked(dialog, optionId) && path[0] != '\0')
        LaunchFile(launcher, dialog, path);
}

// The installation's entry in the system's list of installed programs, under its own key; a second
// installation's name tells its folder. The uninstaller deletes it together with the record.
static bool StoreUninstallEntry(const InstallAttempt* attempt)
{
    static const WCHAR* const NAMES[] = {L"DisplayName", L"DisplayVersion",  L"Publisher",       L"URLInfoAbout",
                                         L"DisplayIcon", L"InstallLocation", L"UninstallString", L"EstimatedSize",
                                         L"NoModify",    L"NoRepair"};
    static const DWORD ONE = 1;
    WCHAR program[MAX_PATH], command[MAX_PATH + 2], name[MAX_PATH + 16], key[ENTRY_KEY_CAPACITY];
    // The uninstaller was written beside the program within MAX_PATH, so its quoted path fits.
    command[0] = L'"';
    if (!NameCarried(program, attempt->folder, PAYLOAD_PROGRAM, L"") ||
        !NameCarried(command + 1, attempt->folder, PAYLOAD_UNINSTALLER, L"") ||
        !AppendWide(command, MAX_PATH + 2, L"\""))
        return false;
    wsprintfW(name, attempt->record.entry != 0 ? L"Ambit Knob (%s)" : L"Ambit Knob", attempt->folder);
    const WCHAR* const texts[] = {name, L"2.00", L"Cindertop", MakerAddress, program, attempt->folder, command};
    HKEY hKey;
    NameEntryKey(attempt->record.entry, key);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = ERROR_SUCCESS;
    for (int i = 0; i < 10; i++)
        status |= i < 7 ? RegSetValueExW(hKey, NAMES[i], 0, REG_SZ, (const BYTE*)texts[i],
                                         (lstrlenW(texts[i]) + 1) * sizeof(WCHAR))
                        : RegSetValueExW(hKey, NAMES[i], 0, REG_DWORD, (const BYTE*)(i == 7 ? &PayloadKilobytes : &ONE),
                                         sizeof ONE);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

// The directory as the system names it, the one that holds the files, for the next setup and a
// maker's updater, then the entry in the list of installed programs; false when either could not be
// stored. The installation's own record is complete already.
static bool StoreInstallRecord(const InstallAttempt* attempt)
{
    bool stored = WriteRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE, attempt->folder) &&
                  StoreUninstallEntry(attempt);
    ForgetStaleRecord();
    return stored;
}

// The failure box; a refusal instead names what is in the way and why, so that the user can act.
static void ShowFailure(HWND dialog, const InstallAttempt* attempt)
{
    // What is named is a path that fits MAX_PATH; the text around it takes less.
    WCHAR text[1024];
    const char* why = NULL;
    switch (attempt->refusal) {
    case REFUSAL_NONE:
        ShowBox(dialog, "Error detected. Installation aborted!", MB_ICONEXCLAMATION | MB_OK);
        return;
    case REFUSAL_CODE_PAGE:
        ShowBox(dialog, CODE_PAGE_TEXT, MB_ICONEXCLAMATION | MB_OK);
        return;
    case REFUSAL_HELD:
        why = "Another program holds this file open:\n%s\nPlease close the program that uses it, then press Go! again.";
        break;
    case REFUSAL_CHANGED:
        why = "This file of Ambit Knob was changed since it was installed:\n%s\nSetup does not replace it. Please "
              "choose another folder, or move the file away.";
        break;
    case REFUSAL_IN_THE_WAY:
        why = "Setup cannot install Ambit Knob there. This is not one of its files:\n%s\nSetup does not replace "
              "it. Please choose another folder.";
        break;
    }
    WCHAR format[256] = L"";
    AppendAnsi(format, 256, why);
    wsprintfW(text, format, attempt->named);
    MessageBoxW(dialog, text, INFORMATION_CAPTION, MB_ICONEXCLAMATION | MB_OK);
}

// The success box, with a line for each thing an elevated setup did not do as a user would expect.
static void ShowSuccess(HWND dialog, bool launched, bool othersCanChange)
{
    WCHAR text[512], account[MAX_PATH];
    text[0] = L'\0';
    AppendAnsi(text, 512, "Installation was finished successfully!");
    if (!launched)
        AppendAnsi(text, 512,
                   "\nThe readme and Ambit Knob were not opened: setup could not start them without "
                   "administrator rights.");
    if (othersCanChange)
        AppendAnsi(text, 512, "\nAmbit Knob runs from a folder that programs without administrator rights can change.");
    // Started with another account's password, setup wrote that account's record, list entry and group.
    if (NameOtherAccount(account, MAX_PATH) && AppendAnsi(text, 512, "\nAmbit Knob was installed for the account "))
        AppendWide(text, 512, account) && AppendAnsi(text, 512, ", not for the signed-in user.");
    MessageBoxW(dialog, text, INFORMATION_CAPTION, MB_ICONINFORMATION | MB_OK);
}

// Set while "Go!" is at work, its message boxes and launches included: their message loops still
// deliver a "Go!" queued meanwhile (clicks, Enter, a posted command), which must not start a second
// install inside the first.
static bool g_going;

static void OnGo(HWND dialog)
{
    // Static for the frame limit: what one attempt found and wrote is larger than the frame allows.
    static InstallAttempt s_attempt;
    if (g_going)
        return;
    g_going = true;
    if (!RunInstall(dialog, &s_attempt)) {
        ShowFailure(dialog, &s_attempt);
        g_going = false;
        return;
    }
    bool stored = StoreInstallRecord(&s_attempt);
    // An elevated setup opens them as the signed-in user, or not at all: with an administrator's
    // full rights they would write files others cannot change, and drag and drop would fail.
    Launcher launcher;
    bool launched = PrepareLaunches(&launcher, IsElevated(), FindDesktopShell) ||
                    !(IsChecked(dialog, IDC_VIEW_README) || IsChecked(dialog, IDC_RUN_APP));
    ShowSuccess(dialog, launched, s_attempt.othersCanChange);
    // Said before the readme and the program open, so that neither hides it. The files are in
    // place and recorded all the same, so setup still ends with 1.
    if (!stored)
        ShowBox(dialog,
                "Ambit Knob was installed, but its folder could not be stored, so the list of installed programs "
                "may lack it. To remove Ambit Knob, start uninstal.exe in its folder.",
                MB_ICONEXCLAMATION | MB_OK);
    Launch(dialog, &launcher, IDC_VIEW_README, s_attempt.readme);
    Launch(dialog, &launcher, IDC_RUN_APP, s_attempt.program);
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

int ProgramMain(HINSTANCE instance)
{
    g_instance = instance;
    // A setup.exe damaged on its way would write damaged files: it says so before it touches
    // anything, and ends with 2.
    if (!PayloadIsWhole()) {
        ShowBox(NULL, "This setup file is damaged, so nothing was installed. Please get a new copy of it.",
                MB_ICONEXCLAMATION | MB_OK);
        return 2;
    }
    RemoveLeftCopy(PayloadDigest(PAYLOAD_UNINSTALLER));
    // A wide dialog keeps a typed name as typed, so that one the code page cannot hold is told apart.
    return (int)DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETUP), NULL, SetupDialogProc, 0);
}
