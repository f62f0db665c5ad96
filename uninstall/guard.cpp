// The guard: a drive, or a folder that is or holds one of the system's or a user's folders, is never
// removed, even when it is empty and a record says setup made it.
#include "guard.h"

#include <shlobj.h>
#include <shobjidl.h>

// Folders of the system and of users, for systems without the known-folder manager and for what
// that manager does not tell a 32-bit program.
static const int FIXED_FOLDERS[] = {
    CSIDL_WINDOWS,          CSIDL_SYSTEM,           CSIDL_SYSTEMX86,
    CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_FONTS,     CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,         CSIDL_MYPICTURES,
    CSIDL_MYMUSIC,          CSIDL_MYVIDEO,          CSIDL_FAVORITES,
    CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,    CSIDL_STARTMENU,
    CSIDL_PROGRAMS,         CSIDL_STARTUP,          CSIDL_TEMPLATES,
    CSIDL_COMMON_APPDATA,   CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_PICTURES,  CSIDL_COMMON_VIDEO,     CSIDL_COMMON_FAVORITES,
};

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

// The final name of the known folder being compared, cut back as the comparison walks up from it.
static WCHAR g_knownName[LONG_PATH_CAPACITY];

// Whether the folder being judged is, or holds, the known folder. The texts refuse a folder that
// does not exist yet; the identities, one reached under another name (a share of a local drive, a
// mapped drive letter).
static bool Guards(const Judged* judged, const WCHAR* known)
{
    if (known == NULL || known[0] == L'\0')
        return false;
    if (Covers(judged->spelled, known) || Covers(judged->plain, known))
        return true;
    if (!GetFinalName(known, true, g_knownName, LONG_PATH_CAPACITY))
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
    if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, NULL, CLSCTX_INPROC_SERVER,
                                IID_IKnownFolderManager, (void**)&manager)))
        goto uninitialize;
    if (SUCCEEDED(manager->GetFolderIds(&ids, &count))) {
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
    }
    manager->Release();
uninitialize:
    CoUninitialize();
    return guarded;
}

static bool GuardsAnyKnownFolder(const Judged* judged)
{
    if (GuardsManagersFolders(judged))
        return true;
    WCHAR known[MAX_PATH];
    for (int id : FIXED_FOLDERS) {
        if (SHGetFolderPathW(NULL, id | CSIDL_FLAG_DONT_VERIFY, NULL, SHGFP_TYPE_CURRENT, known) != S_OK)
            continue;
        if (Guards(judged, known))
            return true;
        // The folder that holds every user's profile.
        if (id == CSIDL_PROFILE) {
            CutToParent(known);
            if (Guards(judged, known))
                return true;
        }
    }
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
