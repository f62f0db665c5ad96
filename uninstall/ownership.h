// What the uninstaller may remove: decided first, from the recorded folder alone, before anything
// changes; then acted on.
#pragma once

#include "../common/folder.h"

enum Verdict {
    VERDICT_ABSENT,          // nothing found at the recorded path, or its drive is not there
    VERDICT_REMOVE_WHOLE,    // the installation's own folder: it goes with everything in it
    VERDICT_REMOVE_CARRIED,  // a folder the installer did not make: only the carried files go
    VERDICT_REFUSED_SYSTEM,  // a drive, or a folder that is or holds a folder of the system or a user
    VERDICT_REFUSED_FOREIGN, // not a folder of Ambit Knob: relative, a file, a link, no product in it
    VERDICT_UNSAFE,          // holds something that cannot be removed without reaching outside it
};

// What stays of a folder the installer did not make once its carried files are removed.
enum Leftover {
    LEFT_NOTHING,   // the folder is gone
    LEFT_OTHERS,    // the folder, with only what the installer did not write
    LEFT_UNREMOVED, // something that was to go (another program holds a carried file open, say)
};

// The names of the entries a walk has listed but not yet visited: each folder is listed whole before
// anything in it is visited.
enum { LISTED_CAPACITY = 131072 };

// One judging and removal of a folder: the folder as judged, and the walk through it. The caller
// owns it, in static storage (it is far too big for a stack), and passes it to each step.
struct FolderWalk {
    WCHAR finalName[LONG_PATH_CAPACITY]; // the system's name of the judged folder, "\\?\..."
    WCHAR plain[LONG_PATH_CAPACITY];     // the same, as it is usually spelled
    FileIdentity top;                    // what the judged folder is
    WCHAR topName[LONG_PATH_CAPACITY];   // its name on its volume, as the system gives it
    int topLength;                       // the length of finalName
    WCHAR path[LONG_PATH_CAPACITY];      // the entry being visited, extended and cut back
    union {
        FILE_NAME_INFO info;
        BYTE bytes[sizeof(FILE_NAME_INFO) + LONG_PATH_CAPACITY * sizeof(WCHAR)];
    } name;
    union {
        FILE_ID_BOTH_DIR_INFO info;
        BYTE bytes[16384];
    } listing;
    WCHAR listed[LISTED_CAPACITY];
    int listedLength;
};

// Judges the folder the registry names. `owned`: the installer recorded that it made the folder;
// `mustHoldProduct`: only a folder holding uninstal.exe or ak.exe is an installation. For the two
// removal verdicts the walk holds the folder as judged. Changes nothing.
Verdict JudgeFolder(FolderWalk* walk, const char* recorded, bool owned, bool mustHoldProduct);

// Whether `path` lies inside the folder `folder`, whatever either is spelled like.
bool IsInsideFolder(const char* folder, const char* path);

// Removes the judged folder with everything below it, links as links; true when it is gone.
bool DeleteTree(FolderWalk* walk);
// Removes the carried files from the judged folder (with `shortcuts`, the program group's shortcuts
// to them), then the folder if nothing else is left in it.
Leftover RemoveCarriedFiles(FolderWalk* walk, bool shortcuts);
