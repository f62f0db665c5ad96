// Opening, checking and deleting one entry through one handle.
#include "ownfile.h"

#include "text.h"

// FileDispositionInfoEx, which the headers name only for Windows 10 builds.
#define FILE_DISPOSITION_INFO_EX_CLASS ((FILE_INFO_BY_HANDLE_CLASS)21)

// A volume-relative name as the system gives it for an open handle: room for the longest name the
// system has, so that a file is never taken for another's for want of room for its name.
union HandleName {
    FILE_NAME_INFO info;
    BYTE bytes[sizeof(FILE_NAME_INFO) + LONG_PATH_CAPACITY * sizeof(WCHAR)];
};

static bool GetHandleName(HANDLE handle, HandleName* name)
{
    return GetFileInformationByHandleEx(handle, FileNameInfo, name, sizeof *name) != FALSE;
}

// Whether the open entry lies in the folder its path names, under its last name: a system that
// resolves a link asked to open as itself gives a handle that names the link's target.
static bool IsWhereThePathSays(HANDLE handle, const WCHAR* path)
{
    static HandleName s_entry, s_folder; // static for the frame limit: each holds a name of 32,767 characters
    WCHAR parent[MAX_PATH];
    if (!CopyWide(parent, MAX_PATH, path))
        return false;
    CutToParent(parent);
    const WCHAR* leaf = path + lstrlenW(parent);
    while (*leaf == L'\\')
        leaf++;
    HANDLE folder = CreateFileW(parent, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool named = GetHandleName(folder, &s_folder) && GetHandleName(handle, &s_entry);
    CloseHandle(folder);
    if (!named)
        return false;
    int folderLength = s_folder.info.FileNameLength / sizeof(WCHAR);
    int entryLength = s_entry.info.FileNameLength / sizeof(WCHAR);
    const WCHAR* entry = s_entry.info.FileName;
    // A root's name is "\", any other folder's has no separator at its end.
    if (folderLength > 0 && s_folder.info.FileName[folderLength - 1] == L'\\')
        folderLength--;
    return entryLength > folderLength + 1 && SameText(entry, folderLength, s_folder.info.FileName, folderLength) &&
           entry[folderLength] == L'\\' && SameText(entry + folderLength + 1, entryLength - folderLength - 1, leaf, -1);
}

OpenOutcome OpenAsItself(const WCHAR* path, bool folder, bool remove, OpenedFile* file)
{
    DWORD access = remove ? GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES : GENERIC_READ;
    DWORD share = remove ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    file->handle = CreateFileW(path, access, share, NULL, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file->handle == INVALID_HANDLE_VALUE)
        return IsNotFoundError(GetLastError()) ? OPEN_ABSENT : OPEN_HELD;
    // A link is never what it stands for; a cloud placeholder or a deduplicated file is the file.
    FILE_ATTRIBUTE_TAG_INFO tag;
    bool plain = GetFileInformationByHandleEx(file->handle, FileAttributeTagInfo, &tag, sizeof tag) &&
                 !IsLinkEntry(tag.FileAttributes, tag.ReparseTag) &&
                 ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder &&
                 IsWhereThePathSays(file->handle, path);
    file->attributes = tag.FileAttributes;
    if (plain)
        return OPENED;
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
    return OPEN_NOT_PLAIN;
}

Sameness CompareBytes(const OpenedFile* file, const FileDigest* digest)
{
    LARGE_INTEGER start = {};
    FileDigest found;
    BY_HANDLE_FILE_INFORMATION information;
    // Another size is another file, however large or unreadable it is.
    if (GetFileInformationByHandle(file->handle, &information) &&
        (information.nFileSizeHigh != 0 || information.nFileSizeLow != digest->size))
        return BYTES_OTHER;
    if (!SetFilePointerEx(file->handle, start, NULL, FILE_BEGIN) || !DigestOpenFile(file->handle, &found))
        return BYTES_UNREAD;
    return SameDigest(&found, digest) ? BYTES_SAME : BYTES_OTHER;
}

bool HoldsDigest(const OpenedFile* file, const FileDigest* digest) { return CompareBytes(file, digest) == BYTES_SAME; }

bool DeleteOpenEntry(const OpenedFile* file)
{
    // Gone at once, even while another program still holds it with delete sharing, and read-only
    // or not, where the system offers it (Windows 10 1809 and later).
    FILE_DISPOSITION_INFO_EX posix = {FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                      FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
    if (SetFileInformationByHandle(file->handle, FILE_DISPOSITION_INFO_EX_CLASS, &posix, sizeof posix))
        return true;
    DWORD error = GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY)
        return false;
    FILE_BASIC_INFO basic = {};
    if (file->attributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes = (file->attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file->handle, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(file->handle, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    // A file that stays keeps its read-only attribute.
    if (file->attributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes = file->attributes;
        SetFileInformationByHandle(file->handle, FileBasicInfo, &basic, sizeof basic);
    }
    return false;
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

bool IsNotFoundError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsDriveGoneError(DWORD error)
{
    return error == ERROR_NOT_READY || error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH ||
           error == ERROR_BAD_NET_NAME || error == ERROR_DEV_NOT_EXIST;
}
