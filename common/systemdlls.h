// Where the package's executables take the DLLs loaded after they start: from the system's folder
// only, never from their own folder or the current one, which a program of the user may write (the
// temporary folder, Downloads) and an elevated run would then load from.
#pragma once

#include <windows.h>

// Called first in each entry point; the system resolves the import tables before it, from its
// list of known DLLs. Looked up by name: a system without it still loads the images.
inline void LoadDllsFromSystemOnly()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    SetDefaultDllDirectoriesCall setDefault = (SetDefaultDllDirectoriesCall)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault != NULL)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current folder out of the search of a system without the call above.
    SetDllDirectoryW(L"");
}
