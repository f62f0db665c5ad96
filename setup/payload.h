// The files the installer carries in its own image, in the order it writes them.
#pragma once

#include "../common/pathbuf.h"

struct PayloadFile {
    const char* name;
    const unsigned char* content;
    unsigned long length;
};

extern const PayloadFile PayloadSet[PAYLOAD_COUNT];
