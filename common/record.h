// What setup records of each installation: the folders, files and shortcuts it made and the files it found.
#pragma once

#include "identity.h"
#include "names.h"

// The user's registry is no proof of anything (any program of the user can write it): a record can make
// the uninstaller keep more, or at most remove a folder that is empty, never delete a byte that is not
// the package's own.

enum {
    GROUP_FOLDER_CREATED = 1u << 31, // in `shortcuts`: setup made the group's folder
    SHORTCUTS_UNKNOWN = 1u << 30,    // in `shortcuts`: an earlier version's record, which did not say
};

struct InstallationRecord {
    DWORD createdLevels; // the installation's folder and the levels above it that setup created
    DWORD foundFiles;    // bit i: carried file i was there, the package's bytes, before setup ran: the user's copy
    DWORD writtenFiles;  // bit i: setup wrote carried file i there
    DWORD shortcuts;     // bit i: setup wrote the group's shortcut to carried file i; and the flags above
    DWORD order;         // the installation made later has the larger number
    DWORD entry;         // its entry in the list of installed programs: 0 "AmbitKnob", n "AmbitKnob-n"
    // The folder's identity when setup recorded it; none in an earlier version's record, which is
    // then found by its name.
    FileIdentity identity;
};

// Whether the record names its folder's identity; an earlier version's does not.
bool HasIdentity(const InstallationRecord* record);
// Whether the record under `valueName` is that of the folder `name` of `identity` (NULL when nothing is
// there): while the folder has the recorded identity, under any name, or by its name while nothing is
// there; an earlier version's record applies by its name.
bool RecordApplies(const InstallationRecord* record, const WCHAR* valueName, const WCHAR* name,
                   const FileIdentity* identity);
// Whether a record under `valueName` is stale for the folder called `name`: named so, but kept for a
// folder that is no longer there under that name.
bool RecordIsStale(const InstallationRecord* record, const WCHAR* valueName, const WCHAR* name,
                   const FileIdentity* identity);
// The next installation's record, from `*index` on (start at 0); false when there is none left.
bool NextInstallation(DWORD* index, WCHAR* valueName, InstallationRecord* record);
// The record that applies to the folder, with the name it is stored under (MAX_PATH characters).
// False, an empty record and an empty name, when there is none.
bool FindInstallation(const WCHAR* folder, InstallationRecord* record, WCHAR* valueName);
// Forgets the records stored under the folder's name that are stale for it, and their list
// entries; the folder is there.
void ForgetStaleRecords(const WCHAR* folder);
// Stores the record under the name given.
bool StoreInstallation(const WCHAR* valueName, const InstallationRecord* record);
// Forgets the record stored under that name; true when it is gone.
bool ForgetInstallation(const WCHAR* valueName);
// The key of an installation's entry in the list of installed programs, by its number; `key` holds
// ENTRY_KEY_CAPACITY characters.
enum { ENTRY_KEY_CAPACITY = 96 };
void NameEntryKey(DWORD entry, WCHAR* key);
// Deletes the installation's entry in the list of installed programs while it names that folder;
// true when there is none left for it.
bool ForgetEntry(const InstallationRecord* record, const WCHAR* valueName);
// Forgets what remains of an earlier version's record ("OwnedDir"), then the product's keys where
// nothing is left in them.
void ForgetStaleRecord();
