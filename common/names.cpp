// The product's names, one copy of each.
#include "names.h"

#include "text.h"

const char PRODUCT_SUFFIX[sizeof "\\AmbitKnob"] = "\\AmbitKnob";

const char* const CARRIED_FILE_NAMES[PAYLOAD_COUNT] = {
    "uninstal.exe", "file_id.diz", "license.txt", "cindertop.url", "readme.txt", "ak.exe",
};

const char* const SHORTCUT_DESCRIPTIONS[PAYLOAD_COUNT] = {
    "Uninstall", NULL, "License", "Cindertop Software", "Read Me", PRODUCT_SUFFIX,
};

bool NameCarried(WCHAR* path, const WCHAR* folder, int index, const WCHAR* extension)
{
    if (!CopyWide(path, MAX_PATH, folder))
        return false;
    path[TrimmedLength(path)] = L'\0';
    return AppendWide(path, MAX_PATH, L"\\") && AppendAnsi(path, MAX_PATH, CARRIED_FILE_NAMES[index]) &&
           AppendWide(path, MAX_PATH, extension);
}
