// What a run with an administrator's full rights guards: the folders it makes are closed to the
// user's other programs, which run without elevation and may write the user's own places.
#pragma once

#include <windows.h>

// Whether this process runs elevated.
bool IsElevated();
// The security the program-files folders have: Administrators and SYSTEM may change the folder and
// all in it, users only read and run, nothing inherited from the folder above. LocalFree frees it.
PSECURITY_DESCRIPTOR MakeProtectedSecurity();
// Whether a folder of this security keeps programs without elevation out: owned by Administrators
// or SYSTEM, inheriting nothing, and nobody else may write, delete or change its permissions.
bool KeepsOthersOut(PSECURITY_DESCRIPTOR security);
// The same, read from an open folder.
bool FolderKeepsOthersOut(HANDLE folder);
