// What the uninstaller removes: the package's own files, the program group's shortcuts to them, and
// then the folders setup created, as they are left empty.
#pragma once

#include "../common/digest.h"
#include "../common/record.h"

// Why a folder stays, as the last box says it.
enum Kept {
    KEPT_NOTHING,   // nothing of the installation is left in it
    KEPT_OTHERS,    // it holds files the installer did not write, or that were changed since
    KEPT_HELD,      // a file of the package in it could not be removed: another program holds it open
    KEPT_NOT_FOUND, // it is not there: moved, or its drive is gone
};

// One installation as the uninstaller removes it.
struct Installation {
    WCHAR folder[MAX_PATH];    // its folder, as a full path
    WCHAR group[MAX_PATH];     // the program group's folder, or empty when there is no Programs folder
    InstallationRecord record; // what setup recorded of it; nothing, when there is no record
    FileDigest uninstaller;    // the uninstaller's own image
    bool othersRemain;         // another installation is recorded: the group may be its
};

// The folders left in place, each named once with its reason, for the last box.
struct KeptList {
    WCHAR text[6 * MAX_PATH];
    bool packageLeft; // something of the package's own stays, so its record must stay too
};

// Removes the installation: its carried files whose bytes are the package's own and that setup did
// not find there, the group's shortcuts to them, then the installation's folder and the levels above
// it that setup created, and the group's folder, each only once it is empty.
void RemoveInstallation(const Installation* installation, KeptList* kept);
