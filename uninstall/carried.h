// What the package's own bytes are, built into the uninstaller from the files as shipped.
#pragma once

#include "../common/digest.h"
#include "../common/names.h"

// The size and digest of each carried file in install order; the uninstaller's own entry is empty,
// as it compares with its own image.
extern const FileDigest CarriedDigests[PAYLOAD_COUNT];
