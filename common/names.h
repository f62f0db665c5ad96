// The product's names: its registry places, its folders, the files it carries and their shortcuts.
#pragma once

#include <windows.h>

#define PRODUCT_KEY "Software\\Cindertop\\AmbitKnob"
#define INSTALL_DIR_VALUE "InstallDir"
// One value per installation folder, named by its full path.
#define INSTALLATIONS_KEY PRODUCT_KEY "\\Installations"
#define SHELL_FOLDERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define PROGRAMS_VALUE "Programs"
#define GROUP_FOLDER_NAME "Ambit Knob"
// The entry in the system's list of installed programs, beside the record.
#define UNINSTALL_ENTRY_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob"

// The six files the installer carries and writes, in install order.
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
extern const char PRODUCT_SUFFIX[sizeof "\\AmbitKnob"];

// The path of carried file `index` in the folder, `extension` appended (L".lnk" names its shortcut in
// the group); false when it does not fit MAX_PATH.
bool NameCarried(WCHAR* path, const WCHAR* folder, int index, const WCHAR* extension);
