// Folders as the system knows them: identity whatever the spelling, and the edits on wide paths
// that judging them needs.
#pragma once

#include "pathbuf.h"

// The longest path the system's wide-character calls take with a "\\?\" prefix.
enum { LONG_PATH_CAPACITY = 32768 };

// The name the system resolves a path to (with its "\\?\" prefix), the same for most spellings of
// one folder: a second drive letter, a folder link on the way, short names.
// `followLink` false names a link at the end of the path as itself where the system can.
bool GetFinalName(const WCHAR* path, bool followLink, WCHAR* finalName, DWORD capacity);
// What a file or folder is, whatever it is called: its volume and its number on that volume. Two
// names of one folder (a share of a local drive, a mapped or second drive letter, a link on the way) give one
// identity, though their texts never match.
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
// Whether `folder` is what `path` leads to or one of the folders above it, told by identity. Cuts
// the buffer back level by level.
bool IsAtOrAbove(const FileIdentity* folder, WCHAR* path);
// Whether two paths name one folder: the same full path, or one existing folder whatever either is
// spelled like.
bool IsSameFolder(const WCHAR* path, const WCHAR* other);

// Whether an entry is a link to elsewhere (a symbolic link, a junction), which is removed as itself
// and never walked into. Cloud placeholders and deduplicated files carry reparse points too, but
// they are the files themselves. A reparse point whose tag is not told (Wine's links) is a link.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);
// Whether an error says that nothing is at a path. Any other (access denied, a drive not ready)
// leaves open what is there.
bool IsNotFoundError(DWORD error);
// Whether an error says that the drive or share of a path cannot be reached now: a removable drive
// without its disk, a mapped drive or share that is gone.
bool IsDriveGoneError(DWORD error);

// Whether a path is a full path on a drive letter ("X:\..."), not a share or a device path: the only
// names from the user's registry an elevated run opens, since the system reaches a share or device
// with the administrator's rights on the user's word.
bool IsLocalFullPath(const WCHAR* path);
// The letter of the drive a folder lies on when an elevated run cannot see that drive (`driveType`
// of its root says there is none): a letter the user mapped or substituted without elevation. 0
// otherwise.
WCHAR UnseenDriveLetter(bool elevated, const WCHAR* folder, UINT(WINAPI* driveType)(LPCWSTR root));
// Bounded wide copies: false, the text cut back to what it was, when it does not fit.
bool AppendWide(WCHAR* dest, int capacity, const WCHAR* text);
bool CopyWide(WCHAR* dest, int capacity, const WCHAR* text);
// Appends ANSI text, widened; false, the text cut back to what it was, when it does not fit.
bool AppendAnsi(WCHAR* dest, int capacity, const char* text);
// "." or "..".
bool IsDots(const WCHAR* name);
// Equal without regard to case, as the file system compares names.
bool SameText(const WCHAR* text, int length, const WCHAR* other, int otherLength);
// Length without a trailing separator.
int TrimmedLength(const WCHAR* path);
// Whether `folder` is `other` or one of the folders above it.
bool Covers(const WCHAR* folder, const WCHAR* other);
// A final name as a path is usually spelled: "X:\..." or "\\server\share\...". Edits the buffer.
WCHAR* PlainName(WCHAR* finalName);
// "X:\" or "\\server\share", plainly spelled.
bool IsRootName(const WCHAR* plain);
// The path of carried file `index` in the folder, `extension` appended (L".lnk" names its shortcut in
// the group); false when it does not fit MAX_PATH.
bool NameCarried(WCHAR* path, const WCHAR* folder, int index, const WCHAR* extension);
// Cuts a path to its parent folder: "X:\a\b" to "X:\a", "X:\a" to "X:\".
void CutToParent(WCHAR* path);
