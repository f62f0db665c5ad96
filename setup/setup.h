// What the installer's dialog, install sequence and program group share.
#pragma once

#include <windows.h>

// Full paths of the readme and the program, recorded by the last install attempt that reached them.
extern char* ReadmePath;
extern char* ProgramPath;

// The program group folder for the install that is running, or NULL when there is none.
extern char* GroupFolder;

int WINAPI SetupMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandTail, int showCommand);

// Why setup would not write into the destination; none for an attempt that failed otherwise.
enum Refusal {
    REFUSAL_NONE,
    REFUSAL_GUARDED,    // a drive, or is or holds a folder of the system or of a user
    REFUSAL_IN_THE_WAY, // holds a user's file or folder under the name of a carried file
};

enum { NAMED_CAPACITY = 2 * MAX_PATH };

// What one press of "Go!" found at the destination, for the box and the record that follow.
struct InstallAttempt {
    // The installation's own folder: setup makes it, or it holds nothing but the package's own
    // files, or it is the recorded own folder and still holds the product.
    bool owned;
    Refusal refusal;
    // What a refusal names: the folder, or the file or folder in the way.
    WCHAR named[NAMED_CAPACITY];
};

// False when the install failed or was refused; a refusal has changed nothing at all.
bool RunInstall(HWND dialog, InstallAttempt* attempt);
bool WritePayloadFile(char* target, const char* fileName, const unsigned char* content,
                      unsigned long length);
// The group folder's path, from the Programs folder; makes nothing.
bool PrepareGroupFolder();
// Makes the group folder; false when it is not a folder afterwards.
bool CreateGroupFolder();
void ReleaseGroupFolder();
bool CreateShortcut(const char* target, const char* folder, const char* description,
                    const char* linkName);
