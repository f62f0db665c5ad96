// The registry values both programs read and write.
#include "registry.h"

#include "names.h"
#include "text.h"

bool ReadRegistryText(HKEY root, const WCHAR* key, const WCHAR* valueName, WCHAR* text, DWORD capacity)
{
    // Only text is a path, and text that is not terminated inside the buffer is not one either.
    DWORD cb = capacity * sizeof(WCHAR);
    bool ok = RegGetValueW(root, key, valueName, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, text,
                           &cb) == ERROR_SUCCESS;
    if (!ok)
        text[0] = L'\0';
    return ok;
}

bool WriteRegistryString(HKEY root, const WCHAR* key, const WCHAR* valueName, const WCHAR* text)
{
    HKEY hKey;
    if (RegCreateKeyExW(root, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExW(hKey, valueName, 0, REG_SZ, (const BYTE*)text, (lstrlenW(text) + 1) * sizeof(WCHAR));
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

bool DeleteRegistryValues(HKEY root, const WCHAR* key, const WCHAR* const* valueNames, int count)
{
    HKEY hKey;
    LONG status = RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey);
    if (status != ERROR_SUCCESS)
        return status == ERROR_FILE_NOT_FOUND;
    bool deleted = true;
    for (int i = 0; i < count; i++) {
        status = RegDeleteValueW(hKey, valueNames[i]);
        deleted = deleted && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    DWORD subkeys = 1, values = 1;
    bool empty = RegQueryInfoKeyW(hKey, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL) ==
                     ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    RegCloseKey(hKey);
    if (empty)
        RegDeleteKeyW(root, key);
    return deleted;
}

bool ReadGroupFolder(WCHAR* group)
{
    WCHAR programs[MAX_PATH];
    // An empty or relative Programs folder would put the group wherever the process happens to be.
    bool ok = ReadRegistryText(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, PROGRAMS_VALUE, programs, MAX_PATH) &&
              IsFullyQualifiedPath(programs) && GetRecordName(programs, group, MAX_PATH) &&
              (IsRootName(group) || AppendWide(group, MAX_PATH, L"\\")) &&
              AppendWide(group, MAX_PATH, GROUP_FOLDER_NAME);
    if (!ok)
        group[0] = L'\0';
    return ok;
}
