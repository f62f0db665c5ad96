// Folders as the system knows them: identity whatever the spelling, the edits on wide paths that
// judging them needs, and the guard both programs share.
#pragma once

#include "pathbuf.h"

// The longest path the system's wide-character calls take with a "\\?\" prefix.
enum { LONG_PATH_CAPACITY = 32768 };

// A folder's identity: the name the system resolves a path to (with its "\\?\" prefix), the same
// for every spelling of one folder: a second drive letter, a folder link on the way, short names.
// `followLink` false names a link at the end of the path as itself where the system can.
bool GetFinalName(const WCHAR* path, bool followLink, WCHAR* finalName, DWORD capacity);
// Whether two paths name one existing folder.
bool IsSameFolder(const char* path, const char* other);

// Bounded wide copies: false, the text cut back to what it was, when it does not fit.
bool AppendWide(WCHAR* dest, int capacity, const WCHAR* text);
bool CopyWide(WCHAR* dest, int capacity, const WCHAR* text);
// "." or "..".
bool IsDots(const WCHAR* name);
// Equal without regard to case, as the file system compares names.
bool SameText(const WCHAR* text, int length, const WCHAR* other, int otherLength);
// Length without a trailing separator.
int TrimmedLength(const WCHAR* path);
// Whether `folder` is `other` or one of the folders above it.
bool Covers(const WCHAR* folder, const WCHAR* other);
// A final name as a path is usually spelled: "X:\..." or "\\server\share\...". Edits the buffer.
const WCHAR* PlainName(WCHAR* finalName);
// "X:\" or "\\server\share", plainly spelled.
bool IsRootName(const WCHAR* plain);
// Cuts a path to its parent folder: "X:\a\b" to "X:\a", "X:\a" to "X:\".
void CutToParent(WCHAR* path);

// Whether the folder is a drive or share root, or is or holds one of the system's or a user's
// folders. `spelled` is its full path as given, `plain` the name the system resolves it to.
bool IsGuardedFolder(const WCHAR* spelled, const WCHAR* plain);
