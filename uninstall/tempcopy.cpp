// The uninstaller's temporary copy: its folder, and where it is deleted at restart.
#include "tempcopy.h"

#include "../common/elevation.h"
#include "../common/leftcopy.h"
#include "../common/names.h"
#include "../common/ownfile.h"
#include "../common/text.h"

// Opens the folder just made, as itself, without letting anyone rename or delete it meanwhile; a
// program running from it may still make it its current folder. Only an open that may list the
// folder counts in what others may share.
static HANDLE HoldFolder(const WCHAR* folder)
{
    HANDLE held = CreateFileW(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (held != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandleEx(held, FileAttributeTagInfo, &tag, sizeof tag) ||
         !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkEntry(tag.FileAttributes, tag.ReparseTag))) {
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    return held;
}

HANDLE MakeCopyFolder(const WCHAR* temp, bool protect, WCHAR* copy)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, protect ? MakeProtectedSecurity() : NULL, FALSE};
    HANDLE held = INVALID_HANDLE_VALUE;
    WCHAR name[48];
    DWORD number = GetTickCount();
    int folderEnd = lstrlenW(temp) + 1 + lstrlenW(COPY_FOLDER_PREFIX) + 8;
    // A name already taken, by another uninstall or anyone, is passed over for the next.
    for (int tries = 0;
         tries < 64 && held == INVALID_HANDLE_VALUE && (!protect || attributes.lpSecurityDescriptor != NULL);
         tries++, number = number * 69069 + 1) {
        wsprintfW(name, L"\\%s%08X\\%s", COPY_FOLDER_PREFIX, number, COPY_NAME);
        if (!CopyWide(copy, MAX_PATH, temp) || !AppendWide(copy, MAX_PATH, name))
            break;
        copy[folderEnd] = L'\0';
        if (!CreateDirectoryW(copy, &attributes)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            break;
        }
        held = HoldFolder(copy);
        copy[folderEnd] = L'\\';
        if (held == INVALID_HANDLE_VALUE)
            break;
    }
    LocalFree(attributes.lpSecurityDescriptor);
    return held;
}

bool DeleteCopyAtRestart(const WCHAR* copy, bool keepsOthersOut, MoveFileCall move)
{
    WCHAR folder[MAX_PATH];
    if (!keepsOthersOut || !CopyWide(folder, MAX_PATH, copy) || !move(copy, NULL, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    CutToParent(folder);
    move(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

bool KeepsOthersOut(PSECURITY_DESCRIPTOR security)
{
    SECURITY_DESCRIPTOR_CONTROL control;
    DWORD revision;
    // Inheriting, it would take whatever the folder above is given later.
    return GetSecurityDescriptorControl(security, &control, &revision) && (control & SE_DACL_PROTECTED) &&
           !LetsOthersChange(security);
}

bool FolderKeepsOthersOut(HANDLE folder)
{
    PSECURITY_DESCRIPTOR security = ReadFolderSecurity(folder);
    return security != NULL && KeepsOthersOut(security);
}

bool RecordLeftCopy()
{
    DWORD left = 1;
    HKEY hKey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, PRODUCT_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return false;
    bool stored = RegSetValueExW(hKey, LEFT_COPY_VALUE, 0, REG_DWORD, (const BYTE*)&left, sizeof left) == ERROR_SUCCESS;
    RegCloseKey(hKey);
    return stored;
}
