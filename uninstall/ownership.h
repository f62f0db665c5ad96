// What the uninstaller may remove: decided first, from the recorded folder alone, before anything
// changes; then acted on.
#pragma once

#include "../common/folder.h"

enum Verdict {
    VERDICT_ABSENT,          // nothing there, nothing to do
    VERDICT_REMOVE_WHOLE,    // the installation's own folder: it goes with everything in it
    VERDICT_REMOVE_CARRIED,  // a folder the installer did not make: only the carried files go
    VERDICT_REFUSED_SYSTEM,  // a drive, or a folder that is or holds a folder of the system or a user
    VERDICT_REFUSED_FOREIGN, // not a folder of Ambit Knob: relative, a file, a link, no product in it
    VERDICT_UNSAFE,          // holds something that cannot be removed without reaching outside it
};

// Judges the folder the registry names. `owned`: the installer recorded that it made the folder;
// `mustHoldProduct`: only a folder holding uninstal.exe or ak.exe is an installation. For the two
// removal verdicts `finalName` receives the name to remove the folder by. Changes nothing.
Verdict JudgeFolder(const char* recorded, bool owned, bool mustHoldProduct, WCHAR* finalName,
                    DWORD capacity);

// Whether `path` lies inside the folder `folder`, whatever either is spelled like.
bool IsInsideFolder(const char* folder, const char* path);

// Removes the folder with everything below it, links as links; true when it is gone.
bool DeleteTree(const WCHAR* finalName);
// Removes the carried files from the folder (with `shortcuts`, the program group's shortcuts to
// them), then the folder if nothing else is left in it; true when the folder is gone.
bool RemoveCarriedFiles(const WCHAR* finalName, bool shortcuts);
// Whether the folder holds anything at all.
bool HoldsEntries(const WCHAR* finalName);
