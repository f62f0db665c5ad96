// The installations' records under the product's key.
#include "record.h"

#include "folder.h"

// A value of the record: the two numbers, in this order.
struct StoredRecord {
    DWORD createdLevels;
    DWORD foundFiles;
};

bool GetRecordName(const WCHAR* folder, WCHAR* name, int capacity)
{
    DWORD length = GetFullPathNameW(folder, capacity, name, NULL);
    if (length == 0 || (int)length >= capacity)
        return false;
    if (!IsRootName(name))
        name[TrimmedLength(name)] = L'\0';
    return true;
}

// Whether the value named `valueName` records the folder: the same name, or the same existing folder.
static bool Names(const WCHAR* valueName, const WCHAR* name, bool exists, const FileIdentity* identity)
{
    if (SameText(valueName, -1, name, -1))
        return true;
    FileIdentity other;
    return exists && GetIdentity(valueName, &other) && SameIdentity(identity, &other);
}

// Visits the records of the folder: `forget` deletes them, otherwise the first one is read into
// `record`. True when one was found (and, forgetting, every one went).
static bool VisitRecords(const WCHAR* folder, bool forget, InstallationRecord* record)
{
    WCHAR name[MAX_PATH];
    HKEY hKey;
    if (!GetRecordName(folder, name, MAX_PATH) ||
        RegOpenKeyExW(HKEY_CURRENT_USER, L"" INSTALLATIONS_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey) !=
            ERROR_SUCCESS)
        return forget;
    FileIdentity identity;
    bool exists = GetIdentity(name, &identity);
    bool found = false, gone = true;
    for (DWORD index = 0;;) {
        WCHAR valueName[MAX_PATH];
        StoredRecord stored;
        DWORD cchName = MAX_PATH, type = REG_NONE, cb = sizeof stored;
        LONG status = RegEnumValueW(hKey, index, valueName, &cchName, NULL, &type, (BYTE*)&stored, &cb);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A name or a value too long for the buffers names no installation of this package.
        if (status != ERROR_SUCCESS || !Names(valueName, name, exists, &identity)) {
            index++;
            continue;
        }
        if (forget) {
            found = true;
            if (RegDeleteValueW(hKey, valueName) != ERROR_SUCCESS) {
                gone = false;
                index++;
            }
            continue;
        }
        if (type == REG_BINARY && cb == sizeof stored) {
            record->createdLevels = stored.createdLevels;
            record->foundFiles = stored.foundFiles;
            found = true;
            break;
        }
        index++;
    }
    RegCloseKey(hKey);
    return forget ? gone : found;
}

bool FindInstallation(const WCHAR* folder, InstallationRecord* record)
{
    record->createdLevels = 0;
    record->foundFiles = 0;
    return VisitRecords(folder, false, record);
}

bool StoreInstallation(const WCHAR* folder, const InstallationRecord* record)
{
    WCHAR name[MAX_PATH];
    HKEY hKey;
    if (!ForgetInstallation(folder) || !GetRecordName(folder, name, MAX_PATH) ||
        RegCreateKeyExW(HKEY_CURRENT_USER, L"" INSTALLATIONS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) !=
            ERROR_SUCCESS)
        return false;
    StoredRecord stored = {record->createdLevels, record->foundFiles};
    LONG status = RegSetValueExW(hKey, name, 0, REG_BINARY, (const BYTE*)&stored, sizeof stored);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

bool ForgetInstallation(const WCHAR* folder)
{
    return VisitRecords(folder, true, NULL);
}

void ForgetStaleRecord()
{
    static const char* const STALE_VALUES[] = {"OwnedDir", "LeftCopyDigest"};
    DeleteRegistryValues(HKEY_CURRENT_USER, INSTALLATIONS_KEY, NULL, 0);
    DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, STALE_VALUES, 2);
}
