// What the stand-in program group records for the install-sequence test.
#pragma once

#include <string>
#include <vector>

struct ShortcutCall {
    std::string target, folder, description, linkName;
};

extern std::vector<ShortcutCall> ShortcutCalls;
// The 1-based shortcut that fails (1 to 5), or -1 for none.
extern int FailingShortcut;
