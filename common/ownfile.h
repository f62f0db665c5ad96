// A file or folder opened as itself, then checked and deleted through that one handle.
#pragma once

#include "digest.h"
#include "identity.h"

enum OpenOutcome {
    OPENED,         // a plain file (or, asked for, a plain folder), opened where the path says
    OPEN_ABSENT,    // nothing at the path
    OPEN_HELD,      // another program holds it open, or it cannot be opened now
    OPEN_NOT_PLAIN, // a link, a folder where a file was asked for or the reverse, or it resolves elsewhere
};

struct OpenedFile {
    HANDLE handle;
    DWORD attributes;
};

// Opens the entry without following a link at its end. A link on the way to its folder is followed,
// the entry itself never. With `remove` it is opened for reading and deleting, and others may only
// read it meanwhile; without, only for reading.
OpenOutcome OpenAsItself(const WCHAR* path, bool folder, bool remove, OpenedFile* file);
enum Sameness {
    BYTES_SAME,
    BYTES_OTHER,
    BYTES_UNREAD, // the file could not be read to its end: a lock, a placeholder that did not come
};
// Whether the open file holds exactly these bytes, read from its start.
Sameness CompareBytes(const OpenedFile* file, const FileDigest* digest);
bool HoldsDigest(const OpenedFile* file, const FileDigest* digest);
// Deletes the open entry, a read-only file too; true when the system took the deletion. A folder
// that is not empty is refused by the system itself.
bool DeleteOpenEntry(const OpenedFile* file);

// Whether an entry is a link to elsewhere (a symbolic link, a junction), which is removed as itself
// and never walked into. Cloud placeholders and deduplicated files carry reparse points too, but
// they are the files themselves. A reparse point whose tag is not told is a link.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);
// Whether an error says that nothing is at a path. Any other (access denied, a drive not ready)
// leaves open what is there.
bool IsNotFoundError(DWORD error);
// Whether an error says that the drive or share of a path cannot be reached now: a removable drive
// without its disk, a mapped drive or share that is gone.
bool IsDriveGoneError(DWORD error);
