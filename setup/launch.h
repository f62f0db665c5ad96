// Opening the readme and starting the program after an install, as the user who is signed in.
#pragma once

#include <windows.h>

struct IShellDispatch2;

// The desktop's shell, which runs as the signed-in user without elevation; NULL when it cannot be
// reached.
typedef IShellDispatch2* (*DesktopShellFinder)();
IShellDispatch2* FindDesktopShell();

// How this run opens files after an install.
struct Launcher {
    bool elevated;
    IShellDispatch2* desktop; // the desktop's shell, for an elevated run
};

// Prepares the launches of a run elevated or not. An elevated run opens files through the desktop's
// shell (`find`), so that they do not run with an administrator's full rights: false when it cannot
// be reached, and then nothing is opened.
bool PrepareLaunches(Launcher* launcher, bool elevated, DesktopShellFinder find);
// Opens the file as a double click does, as the launcher says.
void LaunchFile(const Launcher* launcher, HWND owner, const char* path);
void ReleaseLaunches(Launcher* launcher);
