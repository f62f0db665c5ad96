// The process-wide path buffer, the small edits on it, and its registry and folder-picker helpers.
#pragma once

#include <windows.h>

// One per executable: 259 characters and the terminator.
extern char PathBuffer[MAX_PATH];

// Registry places shared by the installer and the uninstaller.
#define PRODUCT_KEY "Software\\Cindertop\\AmbitKnob"
#define INSTALL_DIR_VALUE "InstallDir"
// Beside "InstallDir": the same text when the installer made that folder, empty when it did not.
#define OWNED_DIR_VALUE "OwnedDir"
#define SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define PROGRAMS_VALUE "Programs"
#define GROUP_FOLDER_NAME "Ambit Knob"

// The six files the installer carries and writes, in install order, and their names.
enum {
    PAYLOAD_UNINSTALLER,
    PAYLOAD_DESCRIPTION,
    PAYLOAD_LICENSE,
    PAYLOAD_WEB_SHORTCUT,
    PAYLOAD_README,
    PAYLOAD_PROGRAM,
    PAYLOAD_COUNT
};
extern const char* const CARRIED_FILE_NAMES[PAYLOAD_COUNT];

// The directory suffix "\AmbitKnob", one copy for every place that names it.
extern const char PRODUCT_SUFFIX[];

// Bounded string helpers: they refuse, leaving the destination as it was, whatever would not fit
// into `capacity` bytes including the terminator.
bool CopyText(char* dest, int capacity, const char* text);
bool AppendText(char* dest, int capacity, const char* text);

// Reads a string value into PathBuffer; on any failure PathBuffer is left empty.
bool ReadRegistryString(HKEY root, const char* key, const char* valueName);
// Creates the key as needed and stores the text; false when either could not be done.
bool WriteRegistryString(HKEY root, const char* key, const char* valueName, const char* text);
// Deletes the values that are there, then the key when nothing is left in it; false when a value
// stays.
bool DeleteRegistryValues(HKEY root, const char* key, const char* const* valueNames, int count);

// The uninstaller's temporary copy, when the system would not delete it at the next restart:
// RecordLeftCopy records the copy at `path` (its path, size and digest) for a later run, false when
// it could not; RemoveLeftCopy, in that later run, deletes a recorded copy that is still there byte
// for byte and forgets it, leaves a different file at its path untouched, and keeps the record of a
// copy that cannot be deleted yet.
bool RecordLeftCopy(const char* path);
void RemoveLeftCopy();

// The edits below return false, leaving PathBuffer unchanged, when the result would not fit.
bool EnsureTrailingSeparator();
void StripTrailingSeparator();
bool ApplyProductSuffix();
bool AppendToPath(const char* text);

// True when the path is fully qualified: "X:\..." or "\\server\share...", and no device path.
bool IsFullyQualifiedPath(const char* path);

// Shows the folder picker; on a choice PathBuffer holds its path, otherwise it is unchanged.
bool BrowseForDestination(HWND owner);

// The command-line tail a GUI program's entry receives: the program name and the blanks after it
// are skipped.
char* SkipProgramName(char* commandLine);
