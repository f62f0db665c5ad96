// The entry point of each of the package's programs, which loads DLLs from the system's folder only.
#pragma once

#include <windows.h>

// The program's own work; its answer is the exit code.
int ProgramMain(HINSTANCE instance);

extern "C" void WinMainCRTStartup()
{
    // Never from the program's own folder or the current one, which a program of the user may write
    // (the temporary folder, Downloads). The import tables came from the system's known DLLs. Looked
    // up by name: a system without it still loads the images, and the empty directory below takes the
    // current folder out of its search.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    SetDefaultDllDirectoriesCall setDefault = (SetDefaultDllDirectoriesCall)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault != NULL)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    ExitProcess(ProgramMain(GetModuleHandleA(NULL)));
}
