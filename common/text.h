// Bounded edits and comparisons of wide texts and paths.
#pragma once

#include <windows.h>

// Bounded copies: false, the destination as it was, when the text does not fit into `capacity`
// characters with its terminator.
bool CopyWide(WCHAR* dest, int capacity, const WCHAR* text);
bool AppendWide(WCHAR* dest, int capacity, const WCHAR* text);
// Appends ANSI text, widened.
bool AppendAnsi(WCHAR* dest, int capacity, const char* text);

// Equal without regard to case, as the file system compares names.
bool SameText(const WCHAR* text, int length, const WCHAR* other, int otherLength);
// Equal byte for byte.
bool SameBytes(const void* one, const void* other, DWORD size);
// "." or "..".
bool IsDots(const WCHAR* name);
// Length without a trailing separator.
int TrimmedLength(const WCHAR* path);

// True when the path is fully qualified: "X:\..." or "\\server\share...", and no device path.
template <typename Char> bool IsFullyQualifiedPath(const Char* path)
{
    Char first = path[0];
    bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    if (letter && path[1] == ':' && path[2] == '\\')
        return true;
    // A share needs a server name and a share name: \\server\share
    if (path[0] != '\\' || path[1] != '\\' || path[2] == '\\' || path[2] == '\0')
        return false;
    // "\\?\..." and "\\.\..." (the system takes a slash there too) are device paths, which reach past
    // the ordinary rules of paths.
    if ((path[2] == '?' || path[2] == '.') && (path[3] == '\\' || path[3] == '/'))
        return false;
    const Char* p = path + 2;
    while (*p && *p != '\\')
        p++;
    return p[0] == '\\' && p[1] != '\\' && p[1] != '\0';
}
// A full path on a drive letter ("X:\..."), not a share or a device path.
bool IsLocalFullPath(const WCHAR* path);
// The full path a folder is recorded and compared by, without a trailing separator but for a root;
// false when the path is no full path or does not fit.
bool GetRecordName(const WCHAR* folder, WCHAR* name, int capacity);
// Whether `folder` is `other` or one of the folders above it, by their texts.
bool Covers(const WCHAR* folder, const WCHAR* other);
// A final name ("\\?\X:\..." or "\\?\UNC\...") as a path is usually spelled; points into the buffer,
// which it edits.
WCHAR* PlainName(WCHAR* finalName);
// "X:\" or "\\server\share", plainly spelled.
bool IsRootName(const WCHAR* plain);
// Cuts a path to its parent folder: "X:\a\b" to "X:\a", "X:\a" to "X:\".
void CutToParent(WCHAR* path);
