// The files the installer carries in its own image, in the order it writes them.
#pragma once

#include "../common/digest.h"
#include "../common/names.h"

// Each is written under its name in CARRIED_FILE_NAMES.
struct PayloadFile {
    const unsigned char* content;
    unsigned long length;
};

extern const PayloadFile PayloadSet[PAYLOAD_COUNT];
// The size and SHA-256 digest of each carried file as the build embedded it: a setup.exe damaged on
// its way holds other bytes.
extern const FileDigest PayloadDigests[PAYLOAD_COUNT];
// The six files' total size in KB, rounded up, and the maker's address the web shortcut carries:
// what the list of installed programs shows.
extern const unsigned long PayloadKilobytes;
extern const WCHAR MakerAddress[];
