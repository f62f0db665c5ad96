// The registry values both programs read and write.
#include "registry.h"

#include "names.h"
#include "pathbuf.h"
#include "text.h"

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

bool ReadGroupFolder(WCHAR* group)
{
    WCHAR programs[MAX_PATH];
    DWORD cb = sizeof programs;
    // An empty or relative Programs folder would put the group wherever the process happens to be.
    bool ok = RegGetValueW(HKEY_CURRENT_USER, L"" SHELL_FOLDERS_KEY, L"" PROGRAMS_VALUE,
                           RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, programs, &cb) == ERROR_SUCCESS &&
              IsFullyQualifiedPath(programs) && GetRecordName(programs, group, MAX_PATH) &&
              AppendWide(group, MAX_PATH, IsRootName(group) ? L"" GROUP_FOLDER_NAME : L"\\" GROUP_FOLDER_NAME);
    if (!ok)
        group[0] = L'\0';
    return ok;
}
