// What the installer's dialog, install sequence and program group share.
#pragma once

#include <windows.h>

// Full paths of the readme and the program, recorded by the last install attempt that reached them.
extern char* ReadmePath;
extern char* ProgramPath;
// Whether the last install's destination is the installation's own folder, made by the installer.
extern bool DestinationOwned;

// The program group folder for the install that is running, or NULL when there is none.
extern char* GroupFolder;

int WINAPI SetupMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandTail, int showCommand);
bool RunInstall(HWND dialog);
bool WritePayloadFile(char* target, const char* fileName, const unsigned char* content,
                      unsigned long length);
bool PrepareGroupFolder();
void ReleaseGroupFolder();
bool CreateShortcut(const char* target, const char* folder, const char* description,
                    const char* linkName);
