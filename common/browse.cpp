// The folder picker behind "Browse...", kept apart so that only the installer links the shell's
// picker.
#include "pathbuf.h"

#include <shlobj.h>

bool BrowseForDestination(HWND owner)
{
    char displayName[MAX_PATH];
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = "Please specify directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    // The picker is a shell object and wants COM on the calling thread, as the shortcuts do.
    CoInitialize(NULL);
    char chosen[MAX_PATH];
    bool ok = false;
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item != NULL) {
        ok = SHGetPathFromIDListA(item, chosen) != FALSE;
        CoTaskMemFree(item);
    }
    CoUninitialize();
    if (ok)
        lstrcpyA(PathBuffer, chosen);
    return ok;
}
