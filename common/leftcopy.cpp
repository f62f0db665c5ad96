// The uninstaller's temporary copy that could not be set to go at the next restart (a user without
// administrator rights cannot): it is recorded with the size and a digest of its bytes, and a later
// run of setup or of the uninstaller deletes it, only while the file there is still that copy.
#include "folder.h"

#define LEFT_COPY_VALUE "LeftCopy"
#define LEFT_COPY_DIGEST_VALUE "LeftCopyDigest"

static const char* const LEFT_COPY_VALUES[] = {LEFT_COPY_VALUE, LEFT_COPY_DIGEST_VALUE};

// The size and an FNV-1a digest of the bytes read through the open file: enough to tell the copy
// from whatever else may later lie at its path; nobody gains by forging it, as anyone who can write
// there can delete the file anyway.
static bool DigestFile(HANDLE file, ULONGLONG digest[2])
{
    BYTE chunk[2048];
    digest[0] = 0;
    digest[1] = 14695981039346656037ULL;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, NULL))
            return false;
        if (read == 0)
            return true;
        digest[0] += read;
        for (DWORD i = 0; i < read; i++)
            digest[1] = (digest[1] ^ chunk[i]) * 1099511628211ULL;
    }
}

bool RecordLeftCopy(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ULONGLONG digest[2];
    bool read = DigestFile(file, digest);
    CloseHandle(file);
    HKEY hKey;
    if (!read || RegCreateKeyA(HKEY_CURRENT_USER, PRODUCT_KEY, &hKey) != ERROR_SUCCESS)
        return false;
    bool stored = RegSetValueExA(hKey, LEFT_COPY_VALUE, 0, REG_SZ, (const BYTE*)path, lstrlenA(path) + 1) ==
                      ERROR_SUCCESS &&
                  RegSetValueExA(hKey, LEFT_COPY_DIGEST_VALUE, 0, REG_BINARY, (const BYTE*)digest, sizeof digest) ==
                      ERROR_SUCCESS;
    RegCloseKey(hKey);
    return stored;
}

void RemoveLeftCopy()
{
    char path[MAX_PATH];
    ULONGLONG recorded[2];
    DWORD cbPath = sizeof path, cbDigest = sizeof recorded;
    LONG status = RegGetValueA(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUE, RRF_RT_REG_SZ, NULL, path, &cbPath);
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    // A record that cannot be read whole names no copy.
    if (status != ERROR_SUCCESS ||
        RegGetValueA(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_DIGEST_VALUE, RRF_RT_REG_BINARY, NULL, recorded,
                     &cbDigest) != ERROR_SUCCESS ||
        cbDigest != sizeof recorded) {
        DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUES, 2);
        return;
    }
    // Checked and deleted through one handle, which no other program may delete or replace meanwhile.
    HANDLE file = CreateFileA(path, GENERIC_READ | DELETE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        // A copy still running, or held, is tried again next time.
        if (IsNotFoundError(GetLastError()))
            DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUES, 2);
        return;
    }
    ULONGLONG found[2];
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool same = DigestFile(file, found) && found[0] == recorded[0] && found[1] == recorded[1];
    bool settled = !same || SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
    // Another file at that path now is someone's own: it stays, and the record goes.
    if (settled)
        DeleteRegistryValues(HKEY_CURRENT_USER, PRODUCT_KEY, LEFT_COPY_VALUES, 2);
}
