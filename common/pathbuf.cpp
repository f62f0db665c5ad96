// The path buffer, its bounded edits, and the registry reads and writes both executables share.
#include "pathbuf.h"

char PathBuffer[MAX_PATH];

const char PRODUCT_SUFFIX[] = "\\AmbitKnob";

const char* const CARRIED_FILE_NAMES[PAYLOAD_COUNT] = {
    "uninstal.exe", "file_id.diz", "license.txt", "cindertop.url", "readme.txt", "ak.exe",
};

const char* const SHORTCUT_DESCRIPTIONS[PAYLOAD_COUNT] = {
    "Uninstall", NULL, "License", "Cindertop Software", "Read Me", PRODUCT_SUFFIX,
};

bool CopyText(char* dest, int capacity, const char* text)
{
    int length = lstrlenA(text);
    if (length >= capacity)
        return false;
    lstrcpyA(dest, text);
    return true;
}

bool AppendText(char* dest, int capacity, const char* text)
{
    int length = lstrlenA(dest);
    if (length >= capacity)
        return false;
    return CopyText(dest + length, capacity - length, text);
}

bool AppendToPath(const char* text)
{
    return AppendText(PathBuffer, sizeof PathBuffer, text);
}

bool ReadRegistryString(HKEY root, const char* key, const char* valueName)
{
    HKEY hKey;
    if (RegOpenKeyA(root, key, &hKey) != ERROR_SUCCESS) {
        PathBuffer[0] = '\0';
        return false;
    }
    DWORD type = REG_NONE;
    DWORD cb = sizeof PathBuffer;
    LONG status = RegQueryValueExA(hKey, valueName, NULL, &type, (BYTE*)PathBuffer, &cb);
    RegCloseKey(hKey);

    // Only text is a path, and text that is not terminated inside the buffer is not one either.
    bool ok = status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
              cb <= sizeof PathBuffer;
    if (ok && cb > 0) {
        ok = false;
        for (DWORD i = 0; i < cb; i++) {
            if (PathBuffer[i] == '\0') {
                ok = true;
                break;
            }
        }
    }
    if (!ok || cb == 0)
        PathBuffer[0] = '\0';
    return ok;
}

bool WriteRegistryString(HKEY root, const char* key, const char* valueName, const char* text)
{
    HKEY hKey;
    if (RegCreateKeyA(root, key, &hKey) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(hKey, valueName, 0, REG_SZ, (const BYTE*)text, lstrlenA(text) + 1);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

bool DeleteRegistryValues(HKEY root, const char* key, const char* const* valueNames, int count)
{
    HKEY hKey;
    LONG status = RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey);
    if (status != ERROR_SUCCESS)
        return status == ERROR_FILE_NOT_FOUND;
    bool deleted = true;
    for (int i = 0; i < count; i++) {
        status = RegDeleteValueA(hKey, valueNames[i]);
        deleted = deleted && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    DWORD subkeys = 1, values = 1;
    bool empty = RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL,
                                  NULL) == ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    RegCloseKey(hKey);
    if (empty)
        RegDeleteKeyA(root, key);
    return deleted;
}

bool EnsureTrailingSeparator()
{
    int length = lstrlenA(PathBuffer);
    if (length == 0 || PathBuffer[length - 1] == '\\')
        return true;
    return AppendToPath("\\");
}

void StripTrailingSeparator()
{
    int length = lstrlenA(PathBuffer);
    if (length > 0 && PathBuffer[length - 1] == '\\')
        PathBuffer[length - 1] = '\0';
}

bool ApplyProductSuffix()
{
    int length = lstrlenA(PathBuffer);
    int suffixLength = sizeof PRODUCT_SUFFIX - 1;
    if (length >= suffixLength && _stricmp(PathBuffer + length - suffixLength, PRODUCT_SUFFIX) == 0)
        return true;
    return AppendToPath(PRODUCT_SUFFIX);
}
