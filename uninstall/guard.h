// The folders the uninstaller never removes, even empty: a drive or share root, and the system's and users' own.
#pragma once

#include <windows.h>

// Whether the folder is a drive or share root, or is or holds one of the system's or a user's
// folders. `spelled` is its full path as given, `plain` the name the system resolves it to. The
// user's Programs value, which the system rewrites when asked for its folders, is left as it was.
bool IsGuardedFolder(const WCHAR* spelled, const WCHAR* plain);
