// The guard: a drive, or a folder that is or holds one of the system's or a user's folders, never goes.
#include "guard.h"

#include "../common/identity.h"
#include "../common/names.h"
#include "../common/text.h"

#include <shlobj.h>
#include <shobjidl.h>

// Under WOW64 a 32-bit program is shown the 32-bit program-files folders; these name the others.
static const WCHAR* const WOW64_FOLDER_VARIABLES[] = {L"ProgramW6432", L"CommonProgramW6432"};

// The folder being judged: its full path as given, the name the system resolves it to, and its
// identity where it exists.
struct Judged {
    const WCHAR* spelled;
    const WCHAR* plain;
    FileIdentity identity;
    bool exists;
};

// The final name of the known folder being compared; static for the frame limit.
static WCHAR g_knownName[LONG_PATH_CAPACITY];

// The name the system resolves a path to, with its "\\?\" prefix.
static bool GetFinalName(const WCHAR* path, WCHAR* finalName, DWORD capacity)
{
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = GetFinalPathNameByHandleW(handle, finalName, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    return length > 0 && length < capacity;
}

static bool IsOnNetwork(const WCHAR* path)
{
    WCHAR root[4] = {path[0], L':', L'\\', L'\0'};
    return (path[0] == L'\\' && path[1] == L'\\') || (path[1] == L':' && GetDriveTypeW(root) == DRIVE_REMOTE);
}

// Whether the folder being judged is, or holds, the known folder. The texts refuse a folder that
// does not exist yet; the identities, one reached under another name (a share of a local drive, a
// mapped drive letter).
static bool Guards(const Judged* judged, const WCHAR* known)
{
    if (known == NULL || known[0] == L'\0')
        return false;
    if (Covers(judged->spelled, known) || Covers(judged->plain, known))
        return true;
    // A known folder on a network (Documents redirected to a server) is judged by its text alone:
    // opening it may cost a network timeout for each, and a folder there is named so by the system.
    if (IsOnNetwork(known) || !GetFinalName(known, g_knownName, LONG_PATH_CAPACITY))
        return false;
    WCHAR* knownPlain = PlainName(g_knownName);
    return Covers(judged->spelled, knownPlain) || Covers(judged->plain, knownPlain) ||
           (judged->exists && IsAtOrAbove(&judged->identity, knownPlain));
}

// Every folder the system's known-folder manager names (Windows Vista and later).
static bool GuardsManagersFolders(const Judged* judged)
{
    bool guarded = false;
    IKnownFolderManager* manager = NULL;
    KNOWNFOLDERID* ids = NULL;
    UINT count = 0;
    CoInitialize(NULL);
    // Without the system's list no folder can be told from the system's own: none goes.
    if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, NULL, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                                (void**)&manager))) {
        guarded = true;
        goto uninitialize;
    }
    guarded = FAILED(manager->GetFolderIds(&ids, &count));
    for (UINT i = 0; i < count && !guarded; i++) {
        IKnownFolder* folder;
        if (FAILED(manager->GetFolder(ids[i], &folder)))
            continue;
        WCHAR* path = NULL;
        if (SUCCEEDED(folder->GetPath(KF_FLAG_DONT_VERIFY, &path)))
            guarded = Guards(judged, path);
        CoTaskMemFree(path);
        folder->Release();
    }
    CoTaskMemFree(ids);
    manager->Release();
uninitialize:
    CoUninitialize();
    return guarded;
}

// The user's Programs value as it was before the known-folder manager was asked: asking it rewrites
// the value from the system's own record.
struct SavedValue {
    HKEY key;
    LONG status;
    DWORD type, cb;
    BYTE bytes[MAX_PATH * sizeof(WCHAR)];
};

static void SaveProgramsValue(SavedValue* saved)
{
    saved->key = NULL;
    saved->cb = sizeof saved->bytes;
    saved->status =
        RegOpenKeyExW(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &saved->key);
    if (saved->status == ERROR_SUCCESS)
        saved->status = RegQueryValueExW(saved->key, PROGRAMS_VALUE, NULL, &saved->type, saved->bytes, &saved->cb);
}

static void RestoreProgramsValue(const SavedValue* saved)
{
    if (saved->status == ERROR_SUCCESS)
        RegSetValueExW(saved->key, PROGRAMS_VALUE, 0, saved->type, saved->bytes, saved->cb);
    else if (saved->key != NULL && saved->status == ERROR_FILE_NOT_FOUND)
        RegDeleteValueW(saved->key, PROGRAMS_VALUE);
    if (saved->key != NULL)
        RegCloseKey(saved->key);
}

static bool GuardsAnyKnownFolder(const Judged* judged)
{
    SavedValue saved;
    SaveProgramsValue(&saved);
    bool guarded = GuardsManagersFolders(judged);
    RestoreProgramsValue(&saved);
    if (guarded)
        return true;
    WCHAR known[MAX_PATH];
    for (const WCHAR* variable : WOW64_FOLDER_VARIABLES) {
        DWORD length = GetEnvironmentVariableW(variable, known, MAX_PATH);
        if (length > 0 && length < MAX_PATH && Guards(judged, known))
            return true;
    }
    DWORD length = GetTempPathW(MAX_PATH, known);
    return length > 0 && length < MAX_PATH && Guards(judged, known);
}

bool IsGuardedFolder(const WCHAR* spelled, const WCHAR* plain)
{
    if (IsRootName(spelled) || IsRootName(plain))
        return true;
    Judged judged = {spelled, plain};
    judged.exists = GetIdentity(plain, &judged.identity);
    return GuardsAnyKnownFolder(&judged);
}
