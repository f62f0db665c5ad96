// Where the uninstaller's temporary copies lie, each "uninstall.exe" in a folder of its own, and their clean-up.
#pragma once

#include "digest.h"

// Where a program lies, as its path says.
enum CopyPlace {
    PLACE_ELSEWHERE,
    PLACE_FIXED_NAME, // the earlier versions' copy, in the temporary folder itself
    PLACE_OWN_FOLDER, // in a folder named like a copy's, directly in the temporary folder
};

// The temporary folder's long name, without a separator at its end; false when it does not fit.
bool GetTempFolder(WCHAR* temp, int capacity);
// Where `path` lies, for the temporary folder `temp` as GetTempFolder gives it.
CopyPlace GetCopyPlace(const WCHAR* path, const WCHAR* temp);
// Where a copy was recorded: deletes each copy, at the earlier fixed name too, while its bytes are
// the uninstaller's (`uninstaller`), then each copy's folder left empty, and forgets the record once
// no such copy is left. Anything else there is someone's own.
void RemoveLeftCopy(const FileDigest* uninstaller);
