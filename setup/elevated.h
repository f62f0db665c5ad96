// What an elevated setup does differently: it protects the folders it makes and says what users may not expect.
#pragma once

#include <windows.h>

// The system's program-files folders, which protect what is made in them already.
struct ProgramFolders {
    WCHAR paths[3][MAX_PATH];
    int count;
};
void GetProgramFolders(ProgramFolders* folders);
// Whether setup gives a folder it makes the program-files folders' protection: when elevated, and
// the folder is none of them and lies in none of them.
bool ProtectsMadeFolder(bool elevated, const WCHAR* folder, const ProgramFolders* programs);
// Whether the success box says that programs without elevation can change the installation: an
// elevated setup that did not make its folder but found it so (`found` NULL when its permissions
// could not be read).
bool SaysOthersCanChange(bool elevated, bool made, PSECURITY_DESCRIPTOR found);
// Whether setup installs for another account than the signed-in user's (`desktop`, NULL when it
// cannot be told): elevated with an administrator's password, it works in that account's profile.
bool InstallsForOtherAccount(PSID own, PSID desktop);
// That account's name, "DOMAIN\name", into `name` (capacity characters) when setup runs as another
// account than the desktop's shell, or where that cannot be read the session's signed-in user; false
// otherwise.
bool NameOtherAccount(WCHAR* name, DWORD capacity);
