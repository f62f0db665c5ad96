// An elevated setup's protection of the folders it makes, and what the success box says of the
// folder and the account it installed into.
#include "elevated.h"

#include "../common/elevation.h"
#include "../common/folder.h"

#include <shlobj.h>

void GetProgramFolders(ProgramFolders* folders)
{
    static const KNOWNFOLDERID* const IDS[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86};
    folders->count = 0;
    for (const KNOWNFOLDERID* id : IDS) {
        PWSTR path = NULL;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, 0, NULL, &path)) && CopyWide(folders->paths[folders->count], MAX_PATH, path))
            folders->count++;
        CoTaskMemFree(path);
    }
    // A 32-bit setup on 64-bit Windows is told the 32-bit folder twice. The 64-bit one is read from
    // the machine's key, not the environment, which the user's other programs may set.
    HKEY hKey;
    DWORD cb = MAX_PATH * sizeof(WCHAR);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return;
    if (RegGetValueW(hKey, NULL, L"ProgramW6432Dir", RRF_RT_REG_SZ, NULL, folders->paths[folders->count], &cb) ==
        ERROR_SUCCESS)
        folders->count++;
    RegCloseKey(hKey);
}

bool ProtectsMadeFolder(bool elevated, const WCHAR* folder, const ProgramFolders* programs)
{
    for (int i = 0; elevated && i < programs->count; i++)
        if (Covers(programs->paths[i], folder))
            return false;
    return elevated;
}

bool SaysOthersCanChange(bool elevated, DWORD newLevels, PSECURITY_DESCRIPTOR found)
{
    return elevated && newLevels == 0 && (found == NULL || LetsOthersChange(found));
}

bool InstallsForOtherAccount(PSID own, PSID desktop)
{
    return own != NULL && desktop != NULL && !EqualSid(own, desktop);
}

// The account a process runs as, into `user`; NULL when it cannot be read.
static PSID ReadProcessUser(HANDLE process, TOKEN_USER* user, DWORD cb)
{
    HANDLE token;
    if (process == NULL || !OpenProcessToken(process, TOKEN_QUERY, &token))
        return NULL;
    bool read = GetTokenInformation(token, TokenUser, user, cb, &cb) != FALSE;
    CloseHandle(token);
    return read ? user->User.Sid : NULL;
}

bool NameOtherAccount(WCHAR* name, DWORD capacity)
{
    // A token's user and its SID, with room to spare.
    union { TOKEN_USER user; BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE]; } own, desktop;
    DWORD shellId = 0;
    GetWindowThreadProcessId(GetShellWindow(), &shellId);
    HANDLE shell = shellId != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId) : NULL;
    PSID ownSid = ReadProcessUser(GetCurrentProcess(), &own.user, sizeof own);
    PSID desktopSid = ReadProcessUser(shell, &desktop.user, sizeof desktop);
    if (shell != NULL)
        CloseHandle(shell);
    WCHAR domain[MAX_PATH];
    DWORD domainLength = MAX_PATH, nameLength = capacity;
    SID_NAME_USE use;
    if (!InstallsForOtherAccount(ownSid, desktopSid) ||
        !LookupAccountSidW(NULL, ownSid, name, &nameLength, domain, &domainLength, &use))
        return false;
    // "DOMAIN\name" when it fits, else the name alone.
    WCHAR account[MAX_PATH];
    if (CopyWide(account, MAX_PATH, domain) && AppendWide(account, MAX_PATH, L"\\") &&
        AppendWide(account, MAX_PATH, name))
        CopyWide(name, capacity, account);
    return true;
}
