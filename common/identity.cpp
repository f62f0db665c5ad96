// Identity: what a path resolves to, whichever of its spellings is used.
#include "identity.h"

#include "text.h"

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
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetHandleIdentity(handle, identity);
    CloseHandle(handle);
    return known;
}

bool SameIdentity(const FileIdentity* one, const FileIdentity* other) { return SameBytes(one, other, sizeof *one); }

bool IsAtOrAbove(const FileIdentity* folder, const WCHAR* path)
{
    // Static for the frame limit: a known folder's final name may be as long as the system allows.
    static WCHAR level[LONG_PATH_CAPACITY];
    if (!CopyWide(level, LONG_PATH_CAPACITY, path))
        return false;
    for (;;) {
        FileIdentity identity;
        if (GetIdentity(level, &identity) && SameIdentity(folder, &identity))
            return true;
        int length = lstrlenW(level);
        if (IsRootName(level))
            return false;
        CutToParent(level);
        if (lstrlenW(level) >= length)
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
