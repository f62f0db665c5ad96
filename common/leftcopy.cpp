// Where the uninstaller's temporary copies lie, and their clean-up by a later run.
#include "leftcopy.h"

#include "identity.h"
#include "names.h"
#include "registry.h"
#include "text.h"
#include "ownfile.h"

// The record only says that a copy was left; what may be deleted is decided by the place, which is
// the uninstaller's own, and by the bytes.

bool GetTempFolder(WCHAR* temp, int capacity)
{
    WCHAR given[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, given);
    if (length == 0 || length >= MAX_PATH)
        return false;
    // The long spelling, so that a copy started from it recognises itself.
    length = GetLongPathNameW(given, temp, capacity);
    if (length == 0 || (int)length >= capacity)
        return false;
    temp[TrimmedLength(temp)] = L'\0';
    return true;
}

CopyPlace GetCopyPlace(const WCHAR* path, const WCHAR* temp)
{
    int tempLength = lstrlenW(temp), length = lstrlenW(path), nameLength = lstrlenW(COPY_NAME);
    int folderLength = length - nameLength - tempLength - 2, prefixLength = lstrlenW(COPY_FOLDER_PREFIX);
    if (folderLength < -1 || !SameText(path, tempLength, temp, tempLength) || path[tempLength] != L'\\' ||
        path[length - nameLength - 1] != L'\\' || !SameText(path + length - nameLength, -1, COPY_NAME, -1))
        return PLACE_ELSEWHERE;
    if (folderLength == -1)
        return PLACE_FIXED_NAME;
    const WCHAR* folder = path + tempLength + 1;
    for (int i = 0; i < folderLength; i++)
        if (folder[i] == L'\\')
            return PLACE_ELSEWHERE;
    return folderLength > prefixLength && SameText(folder, prefixLength, COPY_FOLDER_PREFIX, prefixLength)
               ? PLACE_OWN_FOLDER
               : PLACE_ELSEWHERE;
}

// Deletes the copy at `path` while it is the uninstaller's own bytes; false while it may still go
// later: a copy still running, or held, is tried again next time.
static bool RemoveCopy(const WCHAR* path, const FileDigest* uninstaller)
{
    OpenedFile file;
    OpenOutcome opened = OpenAsItself(path, false, true, &file);
    if (opened != OPENED)
        return opened != OPEN_HELD;
    bool settled = !HoldsDigest(&file, uninstaller) || DeleteOpenEntry(&file);
    CloseHandle(file.handle);
    return settled;
}

// The copy in a copy folder, then the folder when that left it empty. The folder is held meanwhile,
// so that no one swaps it for a link to elsewhere; one in use by a running copy is held by it.
static bool RemoveCopyFolder(const WCHAR* temp, const WCHAR* name, const FileDigest* uninstaller)
{
    WCHAR folder[MAX_PATH], copy[MAX_PATH];
    if (!CopyWide(folder, MAX_PATH, temp) || !AppendWide(folder, MAX_PATH, L"\\") ||
        !AppendWide(folder, MAX_PATH, name) || !CopyWide(copy, MAX_PATH, folder) ||
        !AppendWide(copy, MAX_PATH, L"\\") || !AppendWide(copy, MAX_PATH, COPY_NAME))
        return true;
    OpenedFile held;
    OpenOutcome opened = OpenAsItself(folder, true, true, &held);
    if (opened != OPENED)
        return opened != OPEN_HELD;
    bool settled = RemoveCopy(copy, uninstaller);
    // The system refuses a folder that is not empty.
    DeleteOpenEntry(&held);
    CloseHandle(held.handle);
    return settled;
}

void RemoveLeftCopy(const FileDigest* uninstaller)
{
    static const WCHAR* const LEFT_COPY_VALUES[] = {LEFT_COPY_VALUE, LEFT_COPY_DIGEST_VALUE};
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, PRODUCT_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return;
    LONG status = RegQueryValueExW(hKey, LEFT_COPY_VALUE, NULL, NULL, NULL, NULL);
    RegCloseKey(hKey);
    WCHAR temp[MAX_PATH], path[MAX_PATH];
    if (status != ERROR_SUCCESS || !GetTempFolder(temp, MAX_PATH))
        return;
    bool settled = !CopyWide(path, MAX_PATH, temp) || !AppendWide(path, MAX_PATH, L"\\") ||
                   !AppendWide(path, MAX_PATH, COPY_NAME) || RemoveCopy(path, uninstaller);
    WIN32_FIND_DATAW found;
    HANDLE find = CopyWide(path, MAX_PATH, temp) && AppendWide(path, MAX_PATH, L"\\") &&
                          AppendWide(path, MAX_PATH, COPY_FOLDER_PREFIX) && AppendWide(path, MAX_PATH, L"*")
                      ? FindFirstFileW(path, &found)
                      : INVALID_HANDLE_VALUE;
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found))
        // A link named like a copy folder is someone's.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            !RemoveCopyFolder(temp, found.cFileName, uninstaller))
            settled = false;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    if (settled)
        DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUES, 2);
}
