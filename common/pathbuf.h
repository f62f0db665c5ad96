// The process-wide path buffer and the edits on it.
#pragma once

#include <windows.h>

// One per executable: 259 characters and the terminator.
extern char PathBuffer[MAX_PATH];

// The edits return false, leaving PathBuffer unchanged, when the result would not fit.
bool EnsureTrailingSeparator();
void StripTrailingSeparator();
bool ApplyProductSuffix();
bool AppendToPath(const char* text);
