// What a file or folder is, whatever it is called: its volume and its number on that volume.
#pragma once

#include <windows.h>

// The longest path the system's wide-character calls take with a "\\?\" prefix.
enum { LONG_PATH_CAPACITY = 32768 };

// Two names of one folder (a share of a local drive, a mapped or second drive letter, a link on the
// way) give one identity, though their texts never match.
struct FileIdentity {
    ULONGLONG volume;
    BYTE id[16]; // the 128-bit file id, or the 64-bit index in its first eight bytes
};
// The identity from what the system told of an open entry: the 128-bit id where it gave one (`wide`
// may be NULL), else the 64-bit index. An id of zero identifies nothing: false.
bool MakeIdentity(const FILE_ID_INFO* wide, const BY_HANDLE_FILE_INFORMATION* information, FileIdentity* identity);
// The identity of the open entry; false when the system cannot tell one.
bool GetHandleIdentity(HANDLE handle, FileIdentity* identity);
// The identity of what the path leads to, a link at its end followed.
bool GetIdentity(const WCHAR* path, FileIdentity* identity);
bool SameIdentity(const FileIdentity* one, const FileIdentity* other);
// Whether `folder` is what `path` leads to or one of the folders above it, told by identity.
bool IsAtOrAbove(const FileIdentity* folder, const WCHAR* path);
// Whether two paths name one folder: the same full path, or one existing folder whatever either is
// spelled like.
bool IsSameFolder(const WCHAR* path, const WCHAR* other);
