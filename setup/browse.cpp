// The folder picker behind "Browse...".
#include "browse.h"

#include <shlobj.h>

bool BrowseForDestination(HWND owner, WCHAR* chosen)
{
    WCHAR displayName[MAX_PATH];
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = L"Please specify directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    // The picker is a shell object and wants COM on the calling thread, as the shortcuts do.
    CoInitialize(NULL);
    bool ok = false;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (item != NULL) {
        ok = SHGetPathFromIDListW(item, chosen) != FALSE;
        CoTaskMemFree(item);
    }
    CoUninitialize();
    return ok;
}
