// Elevation, and the protection of the folders an elevated run makes.
#include "elevation.h"

#include "text.h"

#include <sddl.h>

// Administrators and SYSTEM full control, users read and execute, inheritance from above cut.
static const WCHAR PROTECTED_SDDL[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// Every right that changes a folder, what is in it, or who may.
static const DWORD CHANGE_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                   FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsElevated()
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {};
    DWORD cb;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &cb) && elevation.TokenIsElevated;
    CloseHandle(token);
    return elevated;
}

PSECURITY_DESCRIPTOR MakeProtectedSecurity()
{
    PSECURITY_DESCRIPTOR security = NULL;
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(PROTECTED_SDDL, SDDL_REVISION_1, &security, NULL)
               ? security
               : NULL;
}

static bool IsAdministration(PSID sid)
{
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid);
}

bool LetsOthersChange(PSECURITY_DESCRIPTOR security)
{
    PSID owner;
    PACL dacl;
    BOOL defaulted, present;
    // The owner may always rewrite the permissions; no list at all lets everyone in.
    if (!GetSecurityDescriptorOwner(security, &owner, &defaulted) || owner == NULL || !IsAdministration(owner) ||
        !GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) || !present || dacl == NULL)
        return true;
    for (DWORD i = 0; i < dacl->AceCount; i++) {
        ACE_HEADER* ace;
        if (!GetAce(dacl, i, (void**)&ace))
            return true;
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        // An entry of another kind (conditional, for objects) is not judged: it may let someone in.
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return true;
        ACCESS_ALLOWED_ACE* allowed = (ACCESS_ALLOWED_ACE*)ace;
        if ((allowed->Mask & CHANGE_RIGHTS) != 0 && !IsAdministration((PSID)&allowed->SidStart))
            return true;
    }
    return false;
}

// Static for the frame limit; each caller judges it before the next read.
PSECURITY_DESCRIPTOR ReadFolderSecurity(HANDLE folder)
{
    static BYTE s_security[4096]; // static for the frame limit
    DWORD needed;
    return GetKernelObjectSecurity(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, s_security,
                                   sizeof s_security, &needed)
               ? s_security
               : NULL;
}

WCHAR UnseenDriveLetter(bool elevated, const WCHAR* folder, UINT(WINAPI* driveType)(LPCWSTR root))
{
    WCHAR root[] = {folder[0], L':', L'\\', L'\0'};
    return elevated && IsLocalFullPath(folder) && driveType(root) == DRIVE_NO_ROOT_DIR ? folder[0] : 0;
}
