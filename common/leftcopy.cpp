// The uninstaller's temporary copy that could not be set to go at the next restart: a later run of
// setup or of the uninstaller deletes it. The record only says that a copy was left; what may be
// deleted is decided by the copy's path, which is the uninstaller's own, and by its bytes.
#include "leftcopy.h"

#include "folder.h"
#include "ownfile.h"

#define LEFT_COPY_VALUE "LeftCopy"

bool GetTempCopyPath(WCHAR* path, int capacity)
{
    WCHAR temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return false;
    // The long spelling, so that a copy started from it recognises itself.
    length = GetLongPathNameW(temp, path, capacity);
    if (length == 0 || (int)length >= capacity)
        return false;
    int end = TrimmedLength(path);
    path[end] = L'\0';
    return AppendWide(path, capacity, L"\\") && AppendWide(path, capacity, L"uninstall.exe");
}

bool RecordLeftCopy()
{
    DWORD left = 1;
    HKEY hKey;
    if (RegCreateKeyA(HKEY_CURRENT_USER, PRODUCT_KEY, &hKey) != ERROR_SUCCESS)
        return false;
    bool stored = RegSetValueExA(hKey, LEFT_COPY_VALUE, 0, REG_DWORD, (const BYTE*)&left, sizeof left) == ERROR_SUCCESS;
    RegCloseKey(hKey);
    return stored;
}

void RemoveLeftCopy(const FileDigest* uninstaller)
{
    static const char* const LEFT_COPY_VALUES[] = {LEFT_COPY_VALUE, "LeftCopyDigest"};
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PRODUCT_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return;
    LONG status = RegQueryValueExA(hKey, LEFT_COPY_VALUE, NULL, NULL, NULL, NULL);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS)
        return;
    WCHAR path[MAX_PATH];
    OpenedFile file;
    OpenOutcome opened = GetTempCopyPath(path, MAX_PATH) ? OpenAsItself(path, false, true, &file) : OPEN_NOT_PLAIN;
    // A copy still running, or held, is tried again next time.
    if (opened == OPEN_HELD)
        return;
    bool settled = true;
    if (opened == OPENED) {
        settled = !HoldsDigest(&file, uninstaller) || DeleteOpenEntry(&file);
        CloseHandle(file.handle);
    }
    if (settled)
        DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUES, 2);
}
