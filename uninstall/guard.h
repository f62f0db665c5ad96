// The folders the uninstaller never removes, even empty: a drive or share root, and the system's and
// users' own.
#pragma once

#include "../common/folder.h"

// Whether the folder is a drive or share root, or is or holds one of the system's or a user's
// folders. `spelled` is its full path as given, `plain` the name the system resolves it to. Asking
// the system for its folders may rewrite the user's "Shell Folders" values from the system's own
// record; the caller keeps what it needs of them.
bool IsGuardedFolder(const WCHAR* spelled, const WCHAR* plain);
