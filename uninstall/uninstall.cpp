// The uninstaller: for now it does nothing and exits.
#include "../common/pathbuf.h"

int WINAPI UninstallMain(HINSTANCE, HINSTANCE, char*, int)
{
    return 0;
}

extern "C" void WinMainCRTStartup()
{
    ExitProcess(UninstallMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()),
                              SW_SHOWDEFAULT));
}
