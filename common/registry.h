// The registry values both programs read and write.
#pragma once

#include <windows.h>

// Reads a string value into PathBuffer; on any failure PathBuffer is left empty.
bool ReadRegistryString(HKEY root, const char* key, const char* valueName);
// Creates the key as needed and stores the text; false when either could not be done.
bool WriteRegistryString(HKEY root, const char* key, const char* valueName, const char* text);
// Deletes the values that are there, then the key when nothing is left in it; false when a value
// stays.
bool DeleteRegistryValues(HKEY root, const char* key, const char* const* valueNames, int count);
// The program group's folder, "Ambit Knob" in the user's Programs folder, as a full path into
// `group` (MAX_PATH); false, and empty, when the Programs folder is no full path. Read wide: a
// profile may be named outside the code page.
bool ReadGroupFolder(WCHAR* group);
