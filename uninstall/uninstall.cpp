// The uninstaller: hands over to a copy of itself in the temporary folder, asks, closes the running
// product, and removes the installation directory and the program group, and nothing else.
#include "../common/pathbuf.h"

#include <shellapi.h>
#include <shlobj.h>

static const char CAPTION[] = "Uninstalling Ambit Knob";
static const char TEMP_COPY_NAME[] = "uninstall.exe";
static const char PRODUCT_WINDOW_CLASS[] = "SimpleClass";
static const char SUCCESS_PATTERN[] = "Success!\n%s will be deleted after reboot.";

// Handed to the temporary copy by the first stage. A process started with it is the second stage
// whatever its path is spelled like, so it never starts another copy.
static const char RELAUNCH_MARKER[] = "/relaunched";

// How long the running product gets to close its window, and then to end and let go of its files.
enum { PRODUCT_CLOSE_TIMEOUT_MS = 5000 };

// Folders an installation can never be, nor contain.
static const int PROTECTED_FOLDERS[] = {
    CSIDL_WINDOWS,          CSIDL_SYSTEM,           CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,         CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,    CSIDL_STARTMENU,        CSIDL_PROGRAMS,
    CSIDL_COMMON_APPDATA,   CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,
};

enum FolderState { FOLDER_ABSENT, FOLDER_REMOVABLE, FOLDER_REFUSED };

// The folders that were left in place, one per line, for the final box.
static char g_leftInPlace[3 * MAX_PATH];

// The entry being checked for links; extended and cut back again as the check descends.
static char g_walkPath[MAX_PATH];

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, char*, DWORD, DWORD);
// Systems before symbolic links do not have it; there the attributes tell every link apart.
static FinalPathFunction g_getFinalPath;

void DeleteTree(const char* path)
{
    // The shell wants a list of paths ended by an empty one.
    char list[MAX_PATH + 1];
    if (path[0] == '\0' || !CopyText(list, MAX_PATH, path))
        return;
    list[lstrlenA(list) + 1] = '\0';

    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&operation);
}

static void ShowCannotStart()
{
    MessageBoxA(NULL, "The uninstall of Ambit Knob cannot start. Nothing was removed.", CAPTION,
                MB_ICONSTOP | MB_OK);
}

// The full, long spelling of a path, without a trailing separator unless it is a drive root.
static bool NormalisePath(const char* path, char* normal)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full)
        return false;
    // A path that does not exist keeps its full spelling.
    length = GetLongPathNameA(full, normal, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        CopyText(normal, MAX_PATH, full);
    length = lstrlenA(normal);
    if (length > 3 && normal[length - 1] == '\\')
        normal[length - 1] = '\0';
    return true;
}

static bool GetOwnPath(HINSTANCE instance, char* ownPath)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, module, sizeof module);
    // A name that fills the buffer may have been cut short.
    return length > 0 && length < sizeof module && NormalisePath(module, ownPath);
}

// TempCopyPath into PathBuffer.
static bool BuildTempCopyPath()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    PathBuffer[0] = '\0';
    return length > 0 && length < sizeof temp && NormalisePath(temp, PathBuffer) &&
           EnsureTrailingSeparator() && AppendText(PathBuffer, sizeof PathBuffer, TEMP_COPY_NAME);
}

// True when `folder` is `other` or one of the folders above it; both are normalised.
static bool IsSameOrAncestor(const char* folder, char* other)
{
    int length = lstrlenA(folder);
    if (lstrlenA(other) < length || (other[length] != '\0' && other[length] != '\\'))
        return false;
    char next = other[length];
    other[length] = '\0';
    bool match = _stricmp(folder, other) == 0;
    other[length] = next;
    return match;
}

static bool IsProtectedFolderOrAncestor(const char* folder)
{
    char known[MAX_PATH];
    char normal[MAX_PATH];
    for (int i = 0; i < (int)(sizeof PROTECTED_FOLDERS / sizeof PROTECTED_FOLDERS[0]); i++) {
        if (SHGetFolderPathA(NULL, PROTECTED_FOLDERS[i] | CSIDL_FLAG_DONT_VERIFY, NULL,
                             SHGFP_TYPE_CURRENT, known) == S_OK &&
            NormalisePath(known, normal) && IsSameOrAncestor(folder, normal))
            return true;
    }
    DWORD length = GetTempPathA(sizeof known, known);
    return length > 0 && length < sizeof known && NormalisePath(known, normal) &&
           IsSameOrAncestor(folder, normal);
}

// "X:\" or "\\server\share", normalised.
static bool IsRootFolder(const char* folder)
{
    if (folder[1] == ':')
        return folder[3] == '\0';
    const char* p = folder + 2;
    while (*p && *p != '\\')
        p++;
    if (*p)
        p++;
    while (*p && *p != '\\')
        p++;
    return *p == '\0';
}

// "\\?\" and "\\.\" reach past the ordinary rules of paths (under Wine even into the host's files).
static bool IsDevicePath(const char* path)
{
    return path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') && path[3] == '\\';
}

static bool HoldsFile(const char* folder, const char* name)
{
    char path[MAX_PATH];
    if (!CopyText(path, sizeof path, folder) || !AppendText(path, sizeof path, "\\") ||
        !AppendText(path, sizeof path, name))
        return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The system names an open file "\\?\X:\..." or "\\?\UNC\server\share\..."; a walk names it
// "X:\..." or "\\server\share\...".
static const char* WithoutDevicePrefix(char* name)
{
    if (!IsDevicePath(name))
        return name;
    char* rest = name + 4;
    if (rest[0] == 'U' && rest[1] == 'N' && rest[2] == 'C' && rest[3] == '\\') {
        rest[2] = '\\';
        return rest + 2;
    }
    return rest;
}

// Whether deleting the entry by this name removes the entry itself (the link itself, for a link)
// and not something it leads to. Wine, for one, resolves every link before it deletes.
static bool OpensAsItself(const char* path, bool link)
{
    if (g_getFinalPath == NULL)
        return true;
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char final[MAX_PATH];
    BY_HANDLE_FILE_INFORMATION info;
    DWORD length = g_getFinalPath(file, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    bool itself = length > 0 && length < sizeof final && GetFileInformationByHandle(file, &info) &&
                  ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) == link;
    CloseHandle(file);
    if (!itself)
        return false;
    return _stricmp(WithoutDevicePrefix(final), path) == 0;
}

static bool ClearLinksBelow();

// Removes the entry in g_walkPath when it is a link, descends into it when it is a folder.
static bool ClearEntry(DWORD attributes)
{
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!OpensAsItself(g_walkPath, link))
        return false;
    if (link && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryA(g_walkPath) != FALSE;
    if (link)
        return DeleteFileA(g_walkPath) != FALSE;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ClearLinksBelow();
    return true;
}

// Goes through the folder in g_walkPath so that the shell's delete, which follows links, meets
// none. False at anything that cannot be vouched for; the whole folder then stays.
static bool ClearLinksBelow()
{
    int length = lstrlenA(g_walkPath);
    if (!AppendText(g_walkPath, sizeof g_walkPath, "\\*"))
        return false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(g_walkPath, &entry);
    g_walkPath[length] = '\0';
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool clear = true;
    do {
        const char* name = entry.cFileName;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        clear = AppendText(g_walkPath, sizeof g_walkPath, "\\") &&
                AppendText(g_walkPath, sizeof g_walkPath, name) && ClearEntry(entry.dwFileAttributes);
        g_walkPath[length] = '\0';
    } while (clear && FindNextFileA(find, &entry));
    FindClose(find);
    return clear;
}

// Decides about the folder named in PathBuffer; a removable one is in `folder`, normalised and
// cleared of links.
static FolderState CheckFolder(char* folder, bool mustHoldProduct)
{
    if (IsDevicePath(PathBuffer) || !IsFullyQualifiedPath(PathBuffer) || !NormalisePath(PathBuffer, folder))
        return FOLDER_REFUSED;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FOLDER_ABSENT : FOLDER_REFUSED;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        IsRootFolder(folder) || IsProtectedFolderOrAncestor(folder))
        return FOLDER_REFUSED;
    if (mustHoldProduct && !HoldsFile(folder, "uninstal.exe") && !HoldsFile(folder, "ak.exe"))
        return FOLDER_REFUSED;
    if (!OpensAsItself(folder, false) || !CopyText(g_walkPath, sizeof g_walkPath, folder) ||
        !ClearLinksBelow())
        return FOLDER_REFUSED;
    return FOLDER_REMOVABLE;
}

static void NoteLeftInPlace(const char* folder, const char* subfolder)
{
    AppendText(g_leftInPlace, sizeof g_leftInPlace, folder);
    if (subfolder != NULL) {
        int length = lstrlenA(g_leftInPlace);
        if (length > 0 && g_leftInPlace[length - 1] != '\\')
            AppendText(g_leftInPlace, sizeof g_leftInPlace, "\\");
        AppendText(g_leftInPlace, sizeof g_leftInPlace, subfolder);
    }
    AppendText(g_leftInPlace, sizeof g_leftInPlace, "\n");
}

// Removes the folder named in PathBuffer when it is one of the installation's own; otherwise it is
// left in place and named in the final box.
static void RemoveFolder(bool mustHoldProduct)
{
    char folder[MAX_PATH];
    FolderState state = CheckFolder(folder, mustHoldProduct);
    if (state == FOLDER_ABSENT)
        return;
    if (state == FOLDER_REMOVABLE) {
        DeleteTree(folder);
        if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
            return;
    }
    NoteLeftInPlace(PathBuffer, NULL);
}

static void RemoveInstallDirectory()
{
    // A missing or empty value leaves nothing to remove.
    if (!ReadRegistryString(HKEY_CURRENT_USER, PRODUCT_KEY, INSTALL_DIR_VALUE) || PathBuffer[0] == '\0')
        return;
    RemoveFolder(true);
}

static void RemoveProgramGroup()
{
    // The installer makes no group in a Programs folder that is empty or relative.
    if (!ReadRegistryString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, PROGRAMS_VALUE) ||
        !IsFullyQualifiedPath(PathBuffer))
        return;
    if (!EnsureTrailingSeparator() || !AppendText(PathBuffer, sizeof PathBuffer, GROUP_FOLDER_NAME)) {
        NoteLeftInPlace(PathBuffer, GROUP_FOLDER_NAME);
        return;
    }
    RemoveFolder(false);
}

// Closes the first product window found. One that does not answer must not hold up the uninstall.
static void CloseProduct()
{
    HWND window = FindWindowA(PRODUCT_WINDOW_CLASS, NULL);
    if (window == NULL)
        return;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    DWORD_PTR result;
    // Once its window has gone, the program ends and lets go of its files.
    if (SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, PRODUCT_CLOSE_TIMEOUT_MS, &result) &&
        process != NULL)
        WaitForSingleObject(process, PRODUCT_CLOSE_TIMEOUT_MS);
    if (process != NULL)
        CloseHandle(process);
}

static void ShowOutcome(const char* ownPath)
{
    if (g_leftInPlace[0] != '\0') {
        char text[sizeof g_leftInPlace + 128];
        CopyText(text, sizeof text, "Ambit Knob was not removed completely. Left in place:\n");
        AppendText(text, sizeof text, g_leftInPlace);
        AppendText(text, sizeof text, "Nothing outside the installation was touched.");
        MessageBoxA(NULL, text, CAPTION, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    // The pattern's "%s" gives way to the path.
    if (lstrlenA(ownPath) + (int)sizeof SUCCESS_PATTERN - 3 < MAX_PATH)
        wsprintfA(PathBuffer, SUCCESS_PATTERN, ownPath);
    else
        CopyText(PathBuffer, sizeof PathBuffer,
                 "Success!\nThe uninstaller's temporary copy will be deleted after reboot.");
    MessageBoxA(NULL, PathBuffer, CAPTION, MB_ICONINFORMATION | MB_OK);
}

// Runs from the installation directory: a copy in the temporary folder can delete it.
static void RunFirstStage(const char* ownPath)
{
    // Whatever already lies at the temporary path (an old or planted file) is not started instead.
    if (!CopyFileA(ownPath, PathBuffer, FALSE)) {
        ShowCannotStart();
        return;
    }
    // The copy works from the temporary folder: a current directory inside the installation would
    // keep that directory from being removed.
    char folder[MAX_PATH];
    CopyText(folder, sizeof folder, PathBuffer);
    folder[lstrlenA(folder) - (sizeof TEMP_COPY_NAME - 1)] = '\0';
    ShellExecuteA(NULL, "open", PathBuffer, RELAUNCH_MARKER, folder, SW_SHOWDEFAULT);
}

static void RunSecondStage(const char* ownPath)
{
    MoveFileExA(ownPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (MessageBoxA(NULL, "Are you sure you want to uninstall Ambit Knob?", CAPTION,
                    MB_ICONQUESTION | MB_OKCANCEL) != IDOK)
        return;
    g_getFinalPath = (FinalPathFunction)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                               "GetFinalPathNameByHandleA");
    CloseProduct();
    RemoveInstallDirectory();
    RemoveProgramGroup();
    ShowOutcome(ownPath);
}

int WINAPI UninstallMain(HINSTANCE instance, HINSTANCE, char* commandTail, int)
{
    char ownPath[MAX_PATH];
    if (!GetOwnPath(instance, ownPath)) {
        ShowCannotStart();
        return 0;
    }
    bool relaunched = _stricmp(commandTail, RELAUNCH_MARKER) == 0;
    if (!relaunched && !BuildTempCopyPath()) {
        ShowCannotStart();
        return 0;
    }
    if (relaunched || _stricmp(PathBuffer, ownPath) == 0)
        RunSecondStage(ownPath);
    else
        RunFirstStage(ownPath);
    return 0;
}

extern "C" void WinMainCRTStartup()
{
    ExitProcess(UninstallMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()),
                              SW_SHOWDEFAULT));
}
