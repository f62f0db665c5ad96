// The install sequence as the dialog starts it: what one press of "Go!" found and did.
#pragma once

#include "../common/digest.h"
#include "../common/ownfile.h"
#include "../common/record.h"

// Why setup would not write into the destination; none for an attempt that failed otherwise.
enum Refusal {
    REFUSAL_NONE,
    REFUSAL_IN_THE_WAY, // the user's file, folder or link under the name of a carried file or shortcut
    REFUSAL_HELD,       // another program holds a file of that name open
    REFUSAL_CHANGED,    // a file the installation's setup wrote, changed since
    REFUSAL_CODE_PAGE,  // the destination's name has characters the system's code page cannot hold
};

// What one press of "Go!" found and did, for the box and the record that follow.
struct InstallAttempt {
    Refusal refusal;
    WCHAR folder[MAX_PATH];            // the destination's full path, as it is recorded
    WCHAR named[MAX_PATH];             // with a refusal, the file or folder in the way
    WCHAR group[MAX_PATH];             // the program group's folder; empty without the group
    WCHAR valueName[MAX_PATH];         // the name the record is stored under
    InstallationRecord record;         // what setup has written there so far, stored after every write
    InstallationRecord before;         // the record as it was before this attempt
    bool recorded;                     // there was a record before this attempt
    DWORD replace;                     // bit i: shortcut i is another installation's, and is written over
    bool othersCanChange;              // elevated, installed into a folder programs without elevation may change
    HANDLE written[2 * PAYLOAD_COUNT]; // this attempt's files, then shortcuts, held until it ends
    char readme[MAX_PATH];             // the full paths of the readme and the program once written
    char program[MAX_PATH];
};

// The size and digest of a carried file, taken once when first asked for; NULL when the system
// cannot take them.
const FileDigest* PayloadDigest(int index);
// False when the install failed or was refused; then nothing of this attempt is left.
bool RunInstall(HWND dialog, InstallAttempt* attempt);
