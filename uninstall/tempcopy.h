// The uninstaller's own temporary copy: a new folder for it, and its deletion at restart where that is safe.
#pragma once

#include <windows.h>

// Makes a new folder for a copy in `temp`, closed to the user's other programs when `protect`, and
// writes the copy's path there into `copy` (MAX_PATH). The handle keeps the folder from being
// renamed or deleted until it is closed; INVALID_HANDLE_VALUE when no folder was made.
HANDLE MakeCopyFolder(const WCHAR* temp, bool protect, WCHAR* copy);
typedef BOOL(WINAPI* MoveFileCall)(LPCWSTR, LPCWSTR, DWORD);
// Asks the system (`move`, MoveFileExW) to delete the copy and then its folder at the next restart,
// only when that folder keeps others out: the system deletes by path, with full rights, whatever
// the path names then. False when the copy is not to go at restart.
bool DeleteCopyAtRestart(const WCHAR* copy, bool keepsOthersOut, MoveFileCall move);
// Whether a folder of this security keeps programs without elevation out: inheriting nothing, and
// letting no one else change it.
bool KeepsOthersOut(PSECURITY_DESCRIPTOR security);
// The same, read from an open folder.
bool FolderKeepsOthersOut(HANDLE folder);
// Records that a copy stays after this run; false when that could not be recorded.
bool RecordLeftCopy();
