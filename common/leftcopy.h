// The uninstaller's temporary copy, "uninstall.exe" in the temporary folder, when the system would
// not delete it at the next restart (a user without administrator rights cannot ask for that).
#pragma once

#include "digest.h"

// The copy's path: the temporary folder and "uninstall.exe"; false when it does not fit.
bool GetTempCopyPath(WCHAR* path, int capacity);
// Records that the copy stays after this run; false when that could not be recorded.
bool RecordLeftCopy();
// Where a copy was recorded: deletes it while its bytes are the uninstaller's (`uninstaller`), and
// forgets the record once no such copy is left. Anything else at that path is someone's own.
void RemoveLeftCopy(const FileDigest* uninstaller);
