// The floor the installer's start-up is measured against: one modal dialog of a small template,
// built with the package's own flags and start-up, and nothing else.
#include <windows.h>

static INT_PTR CALLBACK FloorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

extern "C" void WinMainCRTStartup()
{
    ExitProcess((UINT)DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(1), NULL, FloorDialogProc, 0));
}
