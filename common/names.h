// The product's names: its registry places, its folders, the files it carries and their shortcuts.
#pragma once

#include <windows.h>

// The registry's places, each defined once.
extern const WCHAR PRODUCT_KEY[];
extern const WCHAR INSTALL_DIR_VALUE[];
// One value per installation folder, named by its full path.
extern const WCHAR INSTALLATIONS_KEY[];
// Says that an uninstaller's temporary copy was left for a later run; an earlier version also
// stored the copy's digest beside it.
extern const WCHAR LEFT_COPY_VALUE[];
extern const WCHAR LEFT_COPY_DIGEST_VALUE[];
extern const WCHAR SHELL_FOLDERS_KEY[];
extern const WCHAR PROGRAMS_VALUE[];
extern const WCHAR GROUP_FOLDER_NAME[];
// The entry in the system's list of installed programs, beside the record.
extern const WCHAR UNINSTALL_ENTRY_KEY[];
// The uninstaller's temporary copy, in a folder named by the prefix and eight hexadecimal digits.
extern const WCHAR COPY_NAME[];
extern const WCHAR COPY_FOLDER_PREFIX[];

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
