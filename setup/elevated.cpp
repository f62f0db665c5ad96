// An elevated setup's protection of its folders, and what its success box says of the folder and the account.
#include "elevated.h"

#include "../common/elevation.h"
#include "../common/identity.h"
#include "../common/text.h"

#include <shlobj.h>
#include <wtsapi32.h>

void GetProgramFolders(ProgramFolders* folders)
{
    static const KNOWNFOLDERID* const IDS[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86};
    folders->count = 0;
    for (const KNOWNFOLDERID* id : IDS) {
        PWSTR path = NULL;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, 0, NULL, &path)) &&
            CopyWide(folders->paths[folders->count], MAX_PATH, path))
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

bool SaysOthersCanChange(bool elevated, bool made, PSECURITY_DESCRIPTOR found)
{
    return elevated && !made && (found == NULL || LetsOthersChange(found));
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

// The user signed in to this session, as the system's session service names them; NULL when it
// cannot tell. Loaded by its full path, from the system's folder only.
static PSID ReadSessionUser(BYTE* sid, DWORD cb)
{
    typedef BOOL(WINAPI * QueryCall)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    typedef void(WINAPI * FreeCall)(PVOID);
    WCHAR path[MAX_PATH], account[2 * MAX_PATH], domainName[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    HMODULE library =
        length > 0 && length < MAX_PATH && AppendWide(path, MAX_PATH, L"\\wtsapi32.dll") ? LoadLibraryW(path) : NULL;
    QueryCall query = library ? (QueryCall)(void*)GetProcAddress(library, "WTSQuerySessionInformationW") : NULL;
    FreeCall release = library ? (FreeCall)(void*)GetProcAddress(library, "WTSFreeMemory") : NULL;
    LPWSTR user = NULL, domain = NULL;
    DWORD bytes, domainLength = MAX_PATH;
    SID_NAME_USE use;
    bool known = query != NULL && release != NULL &&
                 query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &domain, &bytes) &&
                 query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &user, &bytes) &&
                 user[0] != L'\0' && CopyWide(account, 2 * MAX_PATH, domain) &&
                 (domain[0] == L'\0' || AppendWide(account, 2 * MAX_PATH, L"\\")) &&
                 AppendWide(account, 2 * MAX_PATH, user) &&
                 LookupAccountNameW(NULL, account, sid, &cb, domainName, &domainLength, &use);
    if (release != NULL && user != NULL)
        release(user);
    if (release != NULL && domain != NULL)
        release(domain);
    if (library != NULL)
        FreeLibrary(library);
    return known ? sid : NULL;
}

bool NameOtherAccount(WCHAR* name, DWORD capacity)
{
    // A token's user and its SID, with room to spare.
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } own, desktop;
    DWORD shellId = 0;
    GetWindowThreadProcessId(GetShellWindow(), &shellId);
    HANDLE shell = shellId != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId) : NULL;
    PSID ownSid = ReadProcessUser(GetCurrentProcess(), &own.user, sizeof own);
    PSID desktopSid = ReadProcessUser(shell, &desktop.user, sizeof desktop);
    if (shell != NULL)
        CloseHandle(shell);
    // Another user's shell may keep its token from an administrator; the session still names its user.
    if (desktopSid == NULL)
        desktopSid = ReadSessionUser(desktop.bytes, sizeof desktop);
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
