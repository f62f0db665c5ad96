// The files the installer carries in its own image, in the order it writes them.
#pragma once

struct PayloadFile {
    const char* name;
    const unsigned char* content;
    unsigned long length;
};

enum {
    PAYLOAD_UNINSTALLER,
    PAYLOAD_DESCRIPTION,
    PAYLOAD_LICENSE,
    PAYLOAD_WEB_SHORTCUT,
    PAYLOAD_README,
    PAYLOAD_PROGRAM,
    PAYLOAD_COUNT
};

extern const PayloadFile PayloadSet[PAYLOAD_COUNT];
