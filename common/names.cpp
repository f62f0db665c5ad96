// The product's names, one copy of each.
#include "names.h"

#include "text.h"

const WCHAR PRODUCT_KEY[] = L"Software\\Cindertop\\AmbitKnob";
const WCHAR INSTALL_DIR_VALUE[] = L"InstallDir";
const WCHAR INSTALLATIONS_KEY[] = L"Software\\Cindertop\\AmbitKnob\\Installations";
const WCHAR LEFT_COPY_VALUE[] = L"LeftCopy";
const WCHAR LEFT_COPY_DIGEST_VALUE[] = L"LeftCopyDigest";
const WCHAR SHELL_FOLDERS_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const WCHAR PROGRAMS_VALUE[] = L"Programs";
const WCHAR GROUP_FOLDER_NAME[] = L"Ambit Knob";
const WCHAR UNINSTALL_ENTRY_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob";
const WCHAR COPY_NAME[] = L"uninstall.exe";
const WCHAR COPY_FOLDER_PREFIX[] = L"AmbitKnob-Uninstall-";

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
