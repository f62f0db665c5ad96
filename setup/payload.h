// The files the installer carries in its own image, in the order it writes them.
#pragma once

#include "../common/pathbuf.h"

// Each is written under its name in CARRIED_FILE_NAMES.
struct PayloadFile {
    const unsigned char* content;
    unsigned long length;
};

extern const PayloadFile PayloadSet[PAYLOAD_COUNT];
