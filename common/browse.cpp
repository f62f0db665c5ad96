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

    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item == NULL)
        return false;
    char chosen[MAX_PATH];
    bool ok = SHGetPathFromIDListA(item, chosen) != FALSE;
    CoTaskMemFree(item);
    if (ok)
        lstrcpyA(PathBuffer, chosen);
    return ok;
}
