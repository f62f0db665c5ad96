// Folder identity: what a path resolves to, whichever of its spellings is used.
#include "pathbuf.h"

bool GetFinalName(const WCHAR* path, bool followLink, WCHAR* finalName, DWORD capacity)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, flags, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = GetFinalPathNameByHandleW(handle, finalName, capacity,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    return length > 0 && length < capacity;
}

static WCHAR g_finalNames[2][LONG_PATH_CAPACITY];

static bool GetFinalNameOf(const char* path, WCHAR* finalName)
{
    WCHAR wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0 &&
           GetFinalName(wide, true, finalName, LONG_PATH_CAPACITY);
}

bool IsSameFolder(const char* path, const char* other)
{
    return GetFinalNameOf(path, g_finalNames[0]) && GetFinalNameOf(other, g_finalNames[1]) &&
           CompareStringOrdinal(g_finalNames[0], -1, g_finalNames[1], -1, TRUE) == CSTR_EQUAL;
}
