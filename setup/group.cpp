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
    GroupFolder = _strdup(PathBuffer);
    return GroupFolder != NULL;
}

bool CreateGroupFolder()
{
    // The folder may be there already. When it is not there afterwards (the Programs folder is a
    // file, missing, or cannot be written, or "Ambit Knob" is a file) no shortcut could be saved.
    CreateDirectoryA(GroupFolder, NULL);
    DWORD attributes = GetFileAttributesA(GroupFolder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ReleaseGroupFolder()
{
    free(GroupFolder);
    GroupFolder = NULL;
}

// Counts as made only once the shortcut is saved in the folder.
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
        made = SUCCEEDED(file->Save(widePath, TRUE));
        file->Release();
    }
    link->Release();
uninitialize:
    CoUninitialize();
    return made;
}
