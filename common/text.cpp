// Bounded edits and comparisons of texts and paths.
#include "text.h"

bool AppendWide(WCHAR* dest, int capacity, const WCHAR* text)
{
    int length = lstrlenW(dest);
    int added = lstrlenW(text);
    if (length + added >= capacity)
        return false;
    CopyMemory(dest + length, text, (added + 1) * sizeof(WCHAR));
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

bool SameText(const WCHAR* text, int length, const WCHAR* other, int otherLength)
{
    return CompareStringOrdinal(text, length, other, otherLength, TRUE) == CSTR_EQUAL;
}

bool SameBytes(const void* one, const void* other, DWORD size)
{
    const BYTE* a = (const BYTE*)one;
    const BYTE* b = (const BYTE*)other;
    for (DWORD i = 0; i < size; i++)
        if (a[i] != b[i])
            return false;
    return true;
}

bool IsDots(const WCHAR* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

int TrimmedLength(const WCHAR* path)
{
    int length = lstrlenW(path);
    return length > 0 && path[length - 1] == L'\\' ? length - 1 : length;
}

bool IsLocalFullPath(const WCHAR* path) { return path[0] != L'\\' && IsFullyQualifiedPath(path); }

bool GetRecordName(const WCHAR* folder, WCHAR* name, int capacity)
{
    DWORD length = GetFullPathNameW(folder, capacity, name, NULL);
    if (length == 0 || (int)length >= capacity)
        return false;
    if (!IsRootName(name))
        name[TrimmedLength(name)] = L'\0';
    return true;
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

void CutToParent(WCHAR* path)
{
    WCHAR* last = path + TrimmedLength(path);
    while (last > path && *last != L'\\')
        last--;
    last[last > path && last[-1] == L':' ? 1 : 0] = L'\0';
}
