// What setup records of each installation, for the uninstaller: which folders it created and which
// carried files it found there already. The user's registry is no proof of anything (any program of
// the user can write it): a record can make the uninstaller keep more, or at most remove a folder
// that is empty, never delete a byte that is not the package's own.
#pragma once

#include "pathbuf.h"

// One value per installation folder, named by its full path.
#define INSTALLATIONS_KEY PRODUCT_KEY "\\Installations"

struct InstallationRecord {
    DWORD createdLevels; // the installation's folder and the levels above it that setup created
    DWORD foundFiles;    // bit i: carried file i was there, the package's bytes, before setup ran: the user's copy
};

// The full path a folder is recorded by, without a trailing separator but for a root; false when
// the path is no full path or does not fit.
bool GetRecordName(const WCHAR* folder, WCHAR* name, int capacity);
// The record of the folder, found by its name or, where both exist, as the same folder under
// another name. False, and an empty record, when there is none.
bool FindInstallation(const WCHAR* folder, InstallationRecord* record);
// Stores the folder's record in place of any other record of that same folder.
bool StoreInstallation(const WCHAR* folder, const InstallationRecord* record);
// Forgets every record of the folder; false when one stays.
bool ForgetInstallation(const WCHAR* folder);
// Forgets what remains of an earlier version's record ("OwnedDir"), then the product's keys where
// nothing is left in them.
void ForgetStaleRecord();
