// The program group: the "Ambit Knob" folder in the Start menu's Programs folder and its shortcuts.
#include "../common/folder.h"
#include "setup.h"

#include <shlobj.h>

WCHAR* GroupFolder;

enum { LINK_PATH_CAPACITY = 512 };

// The Programs folder is the system's, in a profile that may be named outside the code page: it is
// read and worked on wide.
bool PrepareGroupFolder()
{
    static WCHAR s_group[MAX_PATH];
    DWORD cb = sizeof s_group;
    // An empty or relative Programs folder would put the group wherever the process happens to be.
    if (RegGetValueW(HKEY_CURRENT_USER, L"" SHELL_FOLDERS_KEY, L"" PROGRAMS_VALUE,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, s_group, &cb) != ERROR_SUCCESS ||
        !IsFullyQualifiedPath(s_group))
        return false;
    s_group[TrimmedLength(s_group)] = L'\0';
    if (!AppendWide(s_group, MAX_PATH, L"\\" GROUP_FOLDER_NAME))
        return false;
    GroupFolder = s_group;
    return true;
}

bool CreateGroupFolder()
{
    // The folder may be there already. When it is not there afterwards (the Programs folder is a
    // file, missing, or cannot be written, or "Ambit Knob" is a file) no shortcut could be saved.
    CreateDirectoryW(GroupFolder, NULL);
    DWORD attributes = GetFileAttributesW(GroupFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ReleaseGroupFolder()
{
    GroupFolder = NULL;
}

// Counts as made only once the shortcut is saved in the folder.
bool CreateShortcut(const char* target, const WCHAR* folder, const char* description, const char* linkName)
{
    // "%s\%S.lnk" adds a separator and the extension.
    WCHAR linkPath[LINK_PATH_CAPACITY], wideTarget[MAX_PATH], wideDescription[MAX_PATH];
    if (lstrlenW(folder) + 1 + lstrlenA(linkName) + 4 >= LINK_PATH_CAPACITY ||
        MultiByteToWideChar(CP_ACP, 0, target, -1, wideTarget, MAX_PATH) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, description, -1, wideDescription, MAX_PATH) == 0)
        return false;
    wsprintfW(linkPath, L"%s\\%S.lnk", folder, linkName);

    bool made = false;
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    CoInitialize(NULL);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link)))
        goto uninitialize;
    link->SetPath(wideTarget);
    link->SetDescription(wideDescription);
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        made = SUCCEEDED(file->Save(linkPath, TRUE));
        file->Release();
    }
    link->Release();
uninitialize:
    CoUninitialize();
    return made;
}
