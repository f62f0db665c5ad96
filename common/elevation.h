// Elevation, and the protection an elevated run gives the folders it makes against the user's other programs.
#pragma once

#include <windows.h>

// Whether this process runs elevated.
bool IsElevated();
// The security the program-files folders have: Administrators and SYSTEM may change the folder and
// all in it, users only read and run, nothing inherited from the folder above. LocalFree frees it.
PSECURITY_DESCRIPTOR MakeProtectedSecurity();
// Whether programs without elevation may change a folder of this security or what is in it: it is
// owned by someone other than Administrators or SYSTEM, or lets someone else write, delete or change
// its permissions.
bool LetsOthersChange(PSECURITY_DESCRIPTOR security);
// The owner and permissions of an open folder, valid until the next call; NULL when they cannot be read.
PSECURITY_DESCRIPTOR ReadFolderSecurity(HANDLE folder);
// The letter of the drive a folder lies on when an elevated run cannot see that drive (`driveType`
// of its root says there is none): a letter the user mapped or substituted without elevation. 0
// otherwise.
WCHAR UnseenDriveLetter(bool elevated, const WCHAR* folder, UINT(WINAPI* driveType)(LPCWSTR root));
