// What the installer's dialog, install sequence and program group share.
#pragma once

#include "../common/digest.h"
#include "../common/record.h"

// Full paths of the readme and the program, recorded by the last install attempt that reached them.
extern char* ReadmePath;
extern char* ProgramPath;

// The program group folder for the install that is running, or NULL when there is none.
extern WCHAR* GroupFolder;

int WINAPI SetupMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandTail, int showCommand);

// Why setup would not write into the destination; none for an attempt that failed otherwise.
enum Refusal {
    REFUSAL_NONE,
    REFUSAL_IN_THE_WAY, // holds a user's file or folder under the name of a carried file
};

// What one press of "Go!" found at the destination, for the box and the record that follow.
struct InstallAttempt {
    Refusal refusal;
    // The destination's full path, as it is recorded; with a refusal, the file or folder in the way.
    WCHAR named[MAX_PATH];
    // The levels setup created for the folder, and the files it found there.
    InstallationRecord record;
};

// The size and digest of a carried file, taken once when first asked for; NULL when the system
// cannot take them.
const FileDigest* PayloadDigest(int index);
// False when the install failed or was refused; a refusal has changed nothing at all.
bool RunInstall(HWND dialog, InstallAttempt* attempt);
// The group folder's path, from the Programs folder; makes nothing.
bool PrepareGroupFolder();
// Makes the group folder; false when it is not a folder afterwards.
bool CreateGroupFolder();
void ReleaseGroupFolder();
bool CreateShortcut(const char* target, const WCHAR* folder, const char* description, const char* linkName);
