// The program group's shortcuts as setup makes them, read back through an open handle.
#pragma once

#include "ownfile.h"

// Which carried file the open shortcut is setup's shortcut to: its description is setup's for that
// file and its target is a file of that name. Its target's folder goes into `folder` (MAX_PATH).
// -1 when it is no shortcut setup makes.
int ReadSetupShortcut(const OpenedFile* file, WCHAR* folder);
