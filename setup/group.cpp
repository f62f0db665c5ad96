// The program group: the "Ambit Knob" folder in the Start menu's Programs folder and its shortcuts.
#include "../common/pathbuf.h"
#include "setup.h"

#include <shlobj.h>

char* GroupFolder;

enum { LINK_PATH_CAPACITY = 512 };

bool PrepareGroupFolder()
{
    // An empty or relative Programs folder would put the group wherever the process happens to be.
    if (!ReadRegistryString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, PROGRAMS_VALUE) ||
        !IsFullyQualifiedPath(PathBuffer) || !EnsureTrailingSeparator() ||
        !AppendToPath(GROUP_FOLDER_NAME)) {
        PathBuffer[0] = '\0';
        return false;
    }
    CreateDirectoryA(PathBuffer, NULL);
    GroupFolder = _strdup(PathBuffer);
    return GroupFolder != NULL;
}

void ReleaseGroupFolder()
{
    free(GroupFolder);
    GroupFolder = NULL;
}

// Counts as made once the shell-link object and its persist interface are obtained; the save
// itself is not checked.
bool CreateShortcut(const char* target, const char* folder, const char* description,
                    const char* linkName)
{
    // "%s\%s.lnk" adds a separator and the extension.
    if (lstrlenA(folder) + 1 + lstrlenA(linkName) + 4 >= LINK_PATH_CAPACITY)
        return false;

    bool made = false;
    IShellLinkA* link = NULL;
    IPersistFile* file = NULL;
    CoInitialize(NULL);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link)))
        goto uninitialize;
    link->SetPath(target);
    link->SetDescription(description);
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        char linkPath[LINK_PATH_CAPACITY];
        WCHAR widePath[LINK_PATH_CAPACITY];
        wsprintfA(linkPath, "%s\\%s.lnk", folder, linkName);
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, LINK_PATH_CAPACITY);
        file->Save(widePath, TRUE);
        file->Release();
        made = true;
    }
    link->Release();
uninitialize:
    CoUninitialize();
    return made;
}
