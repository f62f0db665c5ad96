// The process-wide path buffer, the small edits on it, and its registry and folder-picker helpers.
#pragma once

#include <windows.h>

// One per executable: 259 characters and the terminator.
extern char PathBuffer[MAX_PATH];

// Registry places shared by the installer and the uninstaller.
#define PRODUCT_KEY "Software\\Cindertop\\AmbitKnob"
#define INSTALL_DIR_VALUE "InstallDir"
#define SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define PROGRAMS_VALUE "Programs"
#define GROUP_FOLDER_NAME "Ambit Knob"
// The entry in the system's list of installed programs, beside the record.
#define UNINSTALL_ENTRY_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob"

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
// The description of each carried file's shortcut in the program group; the description text has none.
extern const char* const SHORTCUT_DESCRIPTIONS[PAYLOAD_COUNT];

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

// The edits below return false, leaving PathBuffer unchanged, when the result would not fit.
bool EnsureTrailingSeparator();
void StripTrailingSeparator();
bool ApplyProductSuffix();
bool AppendToPath(const char* text);

// True when the path is fully qualified: "X:\..." or "\\server\share...", and no device path.
template <typename Char> bool IsFullyQualifiedPath(const Char* path)
{
    Char first = path[0];
    bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    if (letter && path[1] == ':' && path[2] == '\\')
        return true;
    // A share needs a server name and a share name: \\server\share
    if (path[0] != '\\' || path[1] != '\\' || path[2] == '\\' || path[2] == '\0')
        return false;
    // "\\?\..." and "\\.\..." (the system takes a slash there too) are device paths, not a server
    // named "?" or ".": they reach past the ordinary rules of paths, and the uninstaller refuses them.
    if ((path[2] == '?' || path[2] == '.') && (path[3] == '\\' || path[3] == '/'))
        return false;
    const Char* p = path + 2;
    while (*p && *p != '\\')
        p++;
    return p[0] == '\\' && p[1] != '\\' && p[1] != '\0';
}

// Shows the folder picker; on a choice `chosen` (MAX_PATH characters) holds its path.
bool BrowseForDestination(HWND owner, WCHAR* chosen);

// The command-line tail a GUI program's entry receives: the program name and the blanks after it
// are skipped.
template <typename Char> Char* SkipProgramName(Char* commandLine)
{
    Char* p = commandLine;
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}
