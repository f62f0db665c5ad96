// What a file of the package is, told by its bytes alone: their count and a SHA-256 digest.
#pragma once

#include <windows.h>

struct FileDigest {
    DWORD size;
    BYTE sha256[32];
};

// The digest of what an open file holds, read through that handle from its current position to its
// end; false when it cannot be read whole.
bool DigestOpenFile(HANDLE file, FileDigest* digest);
// The digest of bytes in memory.
bool DigestBytes(const BYTE* bytes, DWORD size, FileDigest* digest);
bool SameDigest(const FileDigest* one, const FileDigest* other);
