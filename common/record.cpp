// The installations' records under the product's key.
#include "record.h"

#include "registry.h"
#include "text.h"

// An earlier version stored only the first two numbers.
enum { LEGACY_RECORD_SIZE = 2 * sizeof(DWORD) };

bool HasIdentity(const InstallationRecord* record)
{
    FileIdentity none = {};
    return !SameIdentity(&record->identity, &none);
}

bool RecordApplies(const InstallationRecord* record, const WCHAR* valueName, const WCHAR* name,
                   const FileIdentity* identity)
{
    // A folder that is not there (moved, or its drive gone) is still the one recorded under its name.
    if (HasIdentity(record))
        return identity != NULL ? SameIdentity(&record->identity, identity) : SameText(valueName, -1, name, -1);
    if (SameText(valueName, -1, name, -1))
        return true;
    FileIdentity other;
    return identity != NULL && GetIdentity(valueName, &other) && SameIdentity(identity, &other);
}

bool RecordIsStale(const InstallationRecord* record, const WCHAR* valueName, const WCHAR* name,
                   const FileIdentity* identity)
{
    return identity != NULL && SameText(valueName, -1, name, -1) && !RecordApplies(record, valueName, name, identity);
}

bool NextInstallation(DWORD* index, WCHAR* valueName, InstallationRecord* record)
{
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, INSTALLATIONS_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    bool found = false;
    for (;; ++*index) {
        DWORD cchName = MAX_PATH, type = REG_NONE, cb = sizeof *record;
        ZeroMemory(record, sizeof *record);
        LONG status = RegEnumValueW(hKey, *index, valueName, &cchName, NULL, &type, (BYTE*)record, &cb);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A name or a value of another size names no installation of this package.
        if (status != ERROR_SUCCESS || type != REG_BINARY || (cb != sizeof *record && cb != LEGACY_RECORD_SIZE))
            continue;
        if (cb == LEGACY_RECORD_SIZE) {
            record->writtenFiles = ((1u << PAYLOAD_COUNT) - 1) & ~record->foundFiles;
            record->shortcuts = SHORTCUTS_UNKNOWN;
        }
        ++*index;
        found = true;
        break;
    }
    RegCloseKey(hKey);
    return found;
}

bool FindInstallation(const WCHAR* folder, InstallationRecord* record, WCHAR* valueName)
{
    WCHAR name[MAX_PATH];
    FileIdentity identity;
    bool exists = GetRecordName(folder, name, MAX_PATH) && GetIdentity(name, &identity);
    DWORD index = 0;
    while (name[0] != L'\0' && NextInstallation(&index, valueName, record))
        if (RecordApplies(record, valueName, name, exists ? &identity : NULL))
            return true;
    ZeroMemory(record, sizeof *record);
    valueName[0] = L'\0';
    return false;
}

bool ForgetEntry(const InstallationRecord* record, const WCHAR* valueName)
{
    WCHAR wideKey[ENTRY_KEY_CAPACITY], location[MAX_PATH];
    DWORD cb = sizeof location;
    NameEntryKey(record->entry, wideKey);
    LONG status = RegGetValueW(HKEY_CURRENT_USER, wideKey, L"InstallLocation", RRF_RT_REG_SZ, NULL, location, &cb);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    // An entry naming another folder is that installation's.
    return status == ERROR_SUCCESS && SameText(location, -1, valueName, -1) &&
           RegDeleteKeyW(HKEY_CURRENT_USER, wideKey) == ERROR_SUCCESS;
}

void ForgetStaleRecords(const WCHAR* folder)
{
    WCHAR name[MAX_PATH], valueName[MAX_PATH];
    FileIdentity identity;
    InstallationRecord record;
    if (!GetRecordName(folder, name, MAX_PATH) || !GetIdentity(name, &identity))
        return;
    for (DWORD index = 0; NextInstallation(&index, valueName, &record);)
        if (RecordIsStale(&record, valueName, name, &identity) && ForgetInstallation(valueName)) {
            ForgetEntry(&record, valueName);
            index--;
        }
}

bool StoreInstallation(const WCHAR* valueName, const InstallationRecord* record)
{
    HKEY hKey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, INSTALLATIONS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) !=
        ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExW(hKey, valueName, 0, REG_BINARY, (const BYTE*)record, sizeof *record);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

bool ForgetInstallation(const WCHAR* valueName)
{
    LONG status = RegDeleteKeyValueW(HKEY_CURRENT_USER, INSTALLATIONS_KEY, valueName);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

void NameEntryKey(DWORD entry, WCHAR* key)
{
    wsprintfW(key, entry == 0 ? L"%s" : L"%s-%lu", UNINSTALL_ENTRY_KEY, entry);
}

void ForgetStaleRecord()
{
    static const WCHAR* const STALE_VALUES[] = {L"OwnedDir", LEFT_COPY_DIGEST_VALUE};
    DeleteRegistryValues(HKEY_CURRENT_USER, INSTALLATIONS_KEY, NULL, 0);
    DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, STALE_VALUES, 2);
}
