// Folder identity: what a path resolves to, whichever of its spellings is used; and the small
// edits on wide paths that judging folders needs.
#include "folder.h"

#include "record.h"

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

bool MakeIdentity(const FILE_ID_INFO* wide, const BY_HANDLE_FILE_INFORMATION* information, FileIdentity* identity)
{
    ZeroMemory(identity, sizeof *identity);
    BYTE any = 0;
    if (wide != NULL) {
        identity->volume = wide->VolumeSerialNumber;
        CopyMemory(identity->id, wide->FileId.Identifier, sizeof identity->id);
    } else {
        identity->volume = information->dwVolumeSerialNumber;
        DWORD index[2] = {information->nFileIndexLow, information->nFileIndexHigh};
        CopyMemory(identity->id, index, sizeof index);
    }
    for (BYTE byte : identity->id)
        any |= byte;
    return any != 0;
}

bool GetHandleIdentity(HANDLE handle, FileIdentity* identity)
{
    BY_HANDLE_FILE_INFORMATION information;
    FILE_ID_INFO wide;
    if (!GetFileInformationByHandle(handle, &information))
        return false;
    bool haveWide = GetFileInformationByHandleEx(handle, FileIdInfo, &wide, sizeof wide) != FALSE;
    return MakeIdentity(haveWide ? &wide : NULL, &information, identity);
}

bool GetIdentity(const WCHAR* path, FileIdentity* identity)
{
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetHandleIdentity(handle, identity);
    CloseHandle(handle);
    return known;
}

bool SameIdentity(const FileIdentity* one, const FileIdentity* other)
{
    return memcmp(one, other, sizeof *one) == 0;
}

bool IsAtOrAbove(const FileIdentity* folder, WCHAR* path)
{
    for (;;) {
        FileIdentity identity;
        if (GetIdentity(path, &identity) && SameIdentity(folder, &identity))
            return true;
        int length = lstrlenW(path);
        if (IsRootName(path))
            return false;
        CutToParent(path);
        if (lstrlenW(path) >= length)
            return false;
    }
}

bool IsSameFolder(const WCHAR* path, const WCHAR* other)
{
    WCHAR name[MAX_PATH], otherName[MAX_PATH];
    if (GetRecordName(path, name, MAX_PATH) && GetRecordName(other, otherName, MAX_PATH) &&
        SameText(name, -1, otherName, -1))
        return true;
    FileIdentity one, two;
    return GetIdentity(path, &one) && GetIdentity(other, &two) && SameIdentity(&one, &two);
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

bool IsNotFoundError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsDriveGoneError(DWORD error)
{
    return error == ERROR_NOT_READY || error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_DEV_NOT_EXIST;
}

bool AppendWide(WCHAR* dest, int capacity, const WCHAR* text)
{
    int length = lstrlenW(dest);
    if (length + lstrlenW(text) >= capacity)
        return false;
    lstrcpyW(dest + length, text);
    return true;
}

bool CopyWide(WCHAR* dest, int capacity, const WCHAR* text)
{
    dest[0] = L'\0';
    return AppendWide(dest, capacity, text);
}

bool AppendAnsi(WCHAR* dest, int capacity, const char* text)
{
    int length = lstrlenW(dest);
    if (length >= capacity || MultiByteToWideChar(CP_ACP, 0, text, -1, dest + length, capacity - length) == 0) {
        dest[length < capacity ? length : 0] = L'\0';
        return false;
    }
    return true;
}

bool IsDots(const WCHAR* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool SameText(const WCHAR* text, int length, const WCHAR* other, int otherLength)
{
    return CompareStringOrdinal(text, length, other, otherLength, TRUE) == CSTR_EQUAL;
}

int TrimmedLength(const WCHAR* path)
{
    int length = lstrlenW(path);
    return length > 0 && path[length - 1] == L'\\' ? length - 1 : length;
}

bool Covers(const WCHAR* folder, const WCHAR* other)
{
    int length = TrimmedLength(folder);
    int otherLength = TrimmedLength(other);
    if (length == 0 || otherLength < length || (otherLength > length && other[length] != L'\\'))
        return false;
    return SameText(folder, length, other, length);
}

WCHAR* PlainName(WCHAR* finalName)
{
    if (finalName[0] != L'\\' || finalName[1] != L'\\' || finalName[2] != L'?' || finalName[3] != L'\\')
        return finalName;
    WCHAR* rest = finalName + 4;
    if (SameText(rest, 4, L"UNC\\", 4)) {
        rest[2] = L'\\';
        return rest + 2;
    }
    return rest;
}

bool IsRootName(const WCHAR* plain)
{
    if (plain[0] != L'\0' && plain[1] == L':')
        return plain[2] == L'\0' || (plain[2] == L'\\' && plain[3] == L'\0');
    if (plain[0] != L'\\' || plain[1] != L'\\')
        return false;
    const WCHAR* p = plain + 2;
    for (int part = 0; part < 2 && *p; part++) {
        if (part > 0)
            p++;
        while (*p && *p != L'\\')
            p++;
    }
    return p[0] == L'\0' || (p[0] == L'\\' && p[1] == L'\0');
}

bool NameCarried(WCHAR* path, const WCHAR* folder, int index, const WCHAR* extension)
{
    if (!CopyWide(path, MAX_PATH, folder))
        return false;
    path[TrimmedLength(path)] = L'\0';
    return AppendWide(path, MAX_PATH, L"\\") && AppendAnsi(path, MAX_PATH, CARRIED_FILE_NAMES[index]) &&
           AppendWide(path, MAX_PATH, extension);
}

void CutToParent(WCHAR* path)
{
    WCHAR* last = path + TrimmedLength(path);
    while (last > path && *last != L'\\')
        last--;
    last[last > path && last[-1] == L':' ? 1 : 0] = L'\0';
}

bool IsLocalFullPath(const WCHAR* path)
{
    return path[0] != L'\\' && IsFullyQualifiedPath(path);
}

WCHAR UnseenDriveLetter(bool elevated, const WCHAR* folder, UINT(WINAPI* driveType)(LPCWSTR root))
{
    WCHAR root[] = {folder[0], L':', L'\\', L'\0'};
    return elevated && IsLocalFullPath(folder) && driveType(root) == DRIVE_NO_ROOT_DIR ? folder[0] : 0;
}
