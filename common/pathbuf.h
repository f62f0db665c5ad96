// The process-wide path buffer, the edits on it, and its reader of registry text.
#pragma once

#include <windows.h>

// One per executable: 259 characters and the terminator.
extern char PathBuffer[MAX_PATH];

// Bounded ANSI copies: false, the destination as it was, when the text does not fit into
// `capacity` bytes with its terminator.
bool CopyText(char* dest, int capacity, const char* text);
bool AppendText(char* dest, int capacity, const char* text);
// Reads a text value into PathBuffer, in the code page; on any failure, or a text the code page
// cannot hold, PathBuffer is left empty.
bool ReadRegistryString(HKEY root, const WCHAR* key, const WCHAR* valueName);

// The edits return false, leaving PathBuffer unchanged, when the result would not fit.
bool EnsureTrailingSeparator();
void StripTrailingSeparator();
bool ApplyProductSuffix();
bool AppendToPath(const char* text);
