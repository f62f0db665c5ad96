// Stands in for the program group in the install-sequence test: records each shortcut asked for
// and fails the one the test chooses, as a shortcut that cannot be created or saved would.
#include "fake_group.h"

#include "../setup/setup.h"

char* GroupFolder;
std::vector<ShortcutCall> ShortcutCalls;
int FailingShortcut = -1;

bool PrepareGroupFolder()
{
    GroupFolder = _strdup("C:\\Group");
    return true;
}

void ReleaseGroupFolder()
{
    free(GroupFolder);
    GroupFolder = NULL;
}

bool CreateShortcut(const char* target, const char* folder, const char* description, const char* linkName)
{
    ShortcutCalls.push_back({target, folder, description, linkName});
    return (int)ShortcutCalls.size() != FailingShortcut;
}
