// The program group's shortcuts, written as setup writes files.
#pragma once

#include <windows.h>

// Writes a new shortcut to `target` at `linkPath`, never over anything; its handle, held, or
// INVALID_HANDLE_VALUE.
HANDLE CreateShortcut(const WCHAR* target, const WCHAR* linkPath, const char* description);
