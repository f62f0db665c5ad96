// The registry values both programs read and write.
#pragma once

#include <windows.h>

// Reads a text value, terminated within `capacity` characters, into `text`; on any failure `text`
// is left empty.
bool ReadRegistryText(HKEY root, const WCHAR* key, const WCHAR* valueName, WCHAR* text, DWORD capacity);
// Creates the key as needed and stores the text; false when either could not be done.
bool WriteRegistryString(HKEY root, const WCHAR* key, const WCHAR* valueName, const WCHAR* text);
// Deletes the values that are there, then the key when nothing is left in it; false when a value
// stays.
bool DeleteRegistryValues(HKEY root, const WCHAR* key, const WCHAR* const* valueNames, int count);
// The program group's folder, "Ambit Knob" in the user's Programs folder, as a full path into
// `group` (MAX_PATH); false, and empty, when the Programs folder is no full path. Read wide: a
// profile may be named outside the code page.
bool ReadGroupFolder(WCHAR* group);
