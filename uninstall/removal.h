// What the uninstaller removes: the package's own files and shortcuts, then the folders setup created, if empty.
#pragma once

#include "../common/digest.h"
#include "../common/record.h"

// Why a folder stays, as the last box says it; the first four are the user's or another
// installation's matter, the rest leave something of the package's own.
enum Kept {
    KEPT_NOTHING,            // nothing of the installation is left in it
    KEPT_OTHERS,             // it holds files the installer did not write, or that were changed since
    KEPT_OTHER_INSTALLATION, // it holds another installation's shortcuts
    KEPT_PENDING,            // its files are deleted, and go once another program lets go of them
    KEPT_UNTOLD,             // a file in it could not be told to be Ambit Knob's or not
    KEPT_LINKED,             // a link on the way to it leads elsewhere: not followed, so it stays
    KEPT_HELD,               // a file of the package in it could not be removed: another program holds it open
    KEPT_NOT_FOUND,          // it is not there: moved, or its drive is gone
};

// What a folder that did not go still holds, for the reason the last box gives.
struct LeftEntries {
    bool others;     // the user's files or folders, or changed ones
    bool otherGroup; // shortcuts another recorded installation made
    bool pending;    // package files deleted, still listed while another program holds them
    bool untold;     // a file that could not be read or opened as a plain file
    bool held;       // a package file that could not be deleted
};
// The reason for a folder that stays: the package's own matter first, as it keeps the record.
Kept WhyStays(const LeftEntries* left);
// Whether a reason leaves something of the package's own, so that the record must stay.
bool KeepsRecord(Kept reason);

// One installation as the uninstaller removes it.
struct Installation {
    WCHAR folder[MAX_PATH];    // its folder, as a full path
    WCHAR group[MAX_PATH];     // the program group's folder, or empty when there is no Programs folder
    InstallationRecord record; // what setup recorded of it
    FileDigest uninstaller;    // the uninstaller's own image
};

// The folders left in place, each named once with its reason, for the last box.
struct KeptList {
    WCHAR text[6 * MAX_PATH];
    bool packageLeft; // something of the package's own stays, so its record must stay too
};

// Removes `folder` (the installation's or the group's) and the levels above it up to `levels` that setup
// created, each once empty: opened from the highest down, deleted bottom-up through those handles. Notes
// the first that stays, with what the run left in `folder` (`run`), and returns why it stays.
Kept RemoveCreatedFolders(const Installation* installation, const WCHAR* folder, DWORD levels, const LeftEntries* run,
                          KeptList* kept);

// Removes the installation: the carried files setup wrote whose bytes are still the package's own,
// the group's shortcuts setup made to them, then the installation's folder and the levels above it
// that setup created, and the group's folder when setup made it, each only once it is empty.
void RemoveInstallation(const Installation* installation, KeptList* kept);
