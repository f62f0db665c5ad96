// The folder picker behind "Browse...".
#pragma once

#include <windows.h>

// Shows the folder picker; on a choice `chosen` (MAX_PATH characters) holds its path.
bool BrowseForDestination(HWND owner, WCHAR* chosen);
