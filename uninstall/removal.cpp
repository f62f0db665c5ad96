// The removal of one installation. Only the package's own bytes are deleted: a carried file whose
// size and digest are what the uninstaller carries (for uninstal.exe: its own image), a shortcut that
// setup made to one of them. Each is opened once, as itself, checked through that handle and deleted
// through it. A folder goes only when setup created it and it is empty once they are gone; the
// system itself refuses to delete a folder that is not.
#include "removal.h"

#include "../common/folder.h"
#include "../common/ownfile.h"
#include "carried.h"
#include "guard.h"

#include <shlobj.h>

static const char* const REASONS[] = {
    "",
    "kept: it holds files the installer did not write, or that were changed since",
    "kept: a file of Ambit Knob in it could not be removed; another program may hold it open",
    "not found, so not removed: it was moved, or its drive is not there",
};

// The largest shortcut file setup makes is far smaller; anything larger is not one of them.
enum { LARGEST_SHORTCUT = 16384 };

static void NoteKept(KeptList* kept, const WCHAR* folder, Kept reason)
{
    if (reason == KEPT_NOTHING)
        return;
    if (reason != KEPT_OTHERS)
        kept->packageLeft = true;
    int capacity = sizeof kept->text / sizeof kept->text[0];
    AppendWide(kept->text, capacity, folder) && AppendAnsi(kept->text, capacity, "\n    ") &&
        AppendAnsi(kept->text, capacity, REASONS[reason]) && AppendAnsi(kept->text, capacity, "\n");
}

// The carried file's path (with `extension`, its shortcut's) in the folder; false when it does not fit.
static bool NameCarried(WCHAR* path, const WCHAR* folder, int i, const WCHAR* extension)
{
    WCHAR name[32];
    return MultiByteToWideChar(CP_ACP, 0, CARRIED_FILE_NAMES[i], -1, name, 32) > 0 && CopyWide(path, MAX_PATH, folder) &&
           AppendWide(path, MAX_PATH, L"\\") && AppendWide(path, MAX_PATH, name) && AppendWide(path, MAX_PATH, extension);
}

// Whether anything at all is in the folder. One that cannot be listed to its end may hold something.
static bool HoldsEntries(const WCHAR* folder)
{
    WCHAR pattern[MAX_PATH + 2];
    if (!CopyWide(pattern, MAX_PATH + 2, folder))
        return true;
    pattern[TrimmedLength(pattern)] = L'\0';
    if (!AppendWide(pattern, MAX_PATH + 2, L"\\*"))
        return true;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    bool holds = !IsDots(entry.cFileName);
    while (!holds) {
        if (!FindNextFileW(find, &entry)) {
            holds = GetLastError() != ERROR_NO_MORE_FILES;
            break;
        }
        holds = !IsDots(entry.cFileName);
    }
    FindClose(find);
    return holds;
}

// Deletes the carried files that are the package's own; says why the folder must stay for them,
// and whether any went.
static Kept RemoveCarriedFiles(const Installation* installation, bool* removedAny)
{
    Kept kept = KEPT_NOTHING;
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR path[MAX_PATH];
        OpenedFile file;
        OpenOutcome opened = NameCarried(path, installation->folder, i, L"") ? OpenAsItself(path, false, true, &file)
                                                                             : OPEN_NOT_PLAIN;
        if (opened == OPEN_HELD)
            kept = KEPT_HELD;
        if (opened != OPENED)
            continue;
        const FileDigest* own = i == PAYLOAD_UNINSTALLER ? &installation->uninstaller : &CarriedDigests[i];
        // A copy the user had there before the install is theirs, byte for byte the package's or not.
        bool package = !(installation->record.foundFiles & (1u << i)) && HoldsDigest(&file, own);
        if (package && !DeleteOpenEntry(&file))
            kept = KEPT_HELD;
        else if (package)
            *removedAny = true;
        CloseHandle(file.handle);
    }
    return kept;
}

// Whether the open shortcut is the one setup makes for carried file `i` of the installation: its
// target that file, its description setup's. Read through the handle, so that what is judged is
// what is deleted.
static bool IsInstallersShortcut(const OpenedFile* file, const Installation* installation, int i)
{
    static BYTE s_bytes[LARGEST_SHORTCUT];
    DWORD read = 0;
    if (!ReadFile(file->handle, s_bytes, sizeof s_bytes, &read, NULL) || read == 0 || read == sizeof s_bytes)
        return false;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, read);
    void* bytes = memory != NULL ? GlobalLock(memory) : NULL;
    if (bytes == NULL) {
        GlobalFree(memory);
        return false;
    }
    CopyMemory(bytes, s_bytes, read);
    GlobalUnlock(memory);
    bool same = false;
    IStream* stream = NULL;
    IShellLinkW* link = NULL;
    IPersistStream* persist = NULL;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return false;
    }
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link))) {
        WCHAR target[MAX_PATH], expected[MAX_PATH], description[MAX_PATH], wanted[MAX_PATH];
        if (SUCCEEDED(link->QueryInterface(IID_IPersistStream, (void**)&persist)) && SUCCEEDED(persist->Load(stream)) &&
            link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH) == S_OK &&
            SUCCEEDED(link->GetDescription(description, MAX_PATH)) &&
            MultiByteToWideChar(CP_ACP, 0, SHORTCUT_DESCRIPTIONS[i], -1, wanted, MAX_PATH) > 0 &&
            lstrcmpW(description, wanted) == 0 && NameCarried(expected, L"", i, L"")) {
            // The target's name, then its folder.
            int length = lstrlenW(target);
            int leaf = lstrlenW(expected);
            same = length > leaf && SameText(target + length - leaf, leaf, expected, leaf);
            target[length - leaf] = L'\0';
            same = same && IsSameFolder(target, installation->folder);
        }
        if (persist != NULL)
            persist->Release();
        link->Release();
    }
    stream->Release();
    return same;
}

// Deletes the group's shortcuts to the installation's files; says why the group must stay for them.
static Kept RemoveShortcuts(const Installation* installation)
{
    Kept kept = KEPT_NOTHING;
    CoInitialize(NULL);
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        WCHAR path[MAX_PATH];
        OpenedFile file;
        if (SHORTCUT_DESCRIPTIONS[i] == NULL || !NameCarried(path, installation->group, i, L".lnk"))
            continue;
        OpenOutcome opened = OpenAsItself(path, false, true, &file);
        if (opened == OPEN_HELD)
            kept = KEPT_HELD;
        if (opened != OPENED)
            continue;
        if (IsInstallersShortcut(&file, installation, i) && !DeleteOpenEntry(&file))
            kept = KEPT_HELD;
        CloseHandle(file.handle);
    }
    CoUninitialize();
    return kept;
}

enum FolderFate {
    FOLDER_GONE,
    FOLDER_NOT_OURS, // a drive, a folder of the system or of a user, or a link: never removed
    FOLDER_STAYS,    // not empty, or it could not be removed
};

// Removes the folder if it is empty.
static FolderFate RemoveEmptyFolder(const WCHAR* path)
{
    static WCHAR s_finalName[LONG_PATH_CAPACITY];
    if (IsRootName(path) || !GetFinalName(path, false, s_finalName, LONG_PATH_CAPACITY) ||
        IsGuardedFolder(path, PlainName(s_finalName)))
        return FOLDER_NOT_OURS;
    OpenedFile folder;
    OpenOutcome opened = OpenAsItself(path, true, true, &folder);
    if (opened == OPEN_NOT_PLAIN)
        return FOLDER_NOT_OURS;
    if (opened != OPENED)
        return FOLDER_STAYS;
    bool gone = DeleteOpenEntry(&folder);
    CloseHandle(folder.handle);
    return gone ? FOLDER_GONE : FOLDER_STAYS;
}

// Why a folder that stays does: what is in it, or, empty, that it could not be removed.
static Kept WhyStays(const WCHAR* folder)
{
    return HoldsEntries(folder) ? KEPT_OTHERS : KEPT_HELD;
}

// Removes the installation's folder and the `levels` above it that setup created, as each is left
// empty; notes the first that stays for what it holds.
static void RemoveCreatedFolders(const Installation* installation, DWORD levels, KeptList* kept)
{
    WCHAR folder[MAX_PATH];
    CopyWide(folder, MAX_PATH, installation->folder);
    for (DWORD level = 0;; level++) {
        FolderFate fate = level < levels ? RemoveEmptyFolder(folder) : FOLDER_NOT_OURS;
        // The user's own folder, left empty, is theirs to keep; only what is in it is reported.
        if (fate == FOLDER_NOT_OURS && HoldsEntries(folder))
            NoteKept(kept, folder, KEPT_OTHERS);
        if (fate == FOLDER_STAYS)
            NoteKept(kept, folder, WhyStays(folder));
        if (fate != FOLDER_GONE || IsRootName(folder))
            return;
        CutToParent(folder);
        // Above the installation, only the folders setup created were to go.
        if (level + 1 >= levels)
            return;
    }
}

void RemoveInstallation(const Installation* installation, KeptList* kept)
{
    DWORD attributes = GetFileAttributesW(installation->folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DWORD error = GetLastError();
        NoteKept(kept, installation->folder,
                 attributes != INVALID_FILE_ATTRIBUTES || IsNotFoundError(error) || IsDriveGoneError(error)
                     ? KEPT_NOT_FOUND
                     : KEPT_HELD);
        return;
    }
    bool removedAny = false;
    Kept files = RemoveCarriedFiles(installation, &removedAny);
    Kept shortcuts = installation->group[0] != L'\0' ? RemoveShortcuts(installation) : KEPT_NOTHING;
    // Only a folder this run left empty goes: one that was empty already, its files gone by the
    // user's hand, may be one the user made again under that name.
    if (files != KEPT_NOTHING)
        NoteKept(kept, installation->folder, files);
    else
        RemoveCreatedFolders(installation, removedAny ? installation->record.createdLevels : 0, kept);
    if (installation->group[0] == L'\0' || GetFileAttributesW(installation->group) == INVALID_FILE_ATTRIBUTES)
        return;
    // A group that stays for another installation's shortcuts is that installation's.
    FolderFate group = RemoveEmptyFolder(installation->group);
    if (shortcuts != KEPT_NOTHING || (group != FOLDER_GONE && !installation->othersRemain &&
                                      (group == FOLDER_STAYS || HoldsEntries(installation->group))))
        NoteKept(kept, installation->group, shortcuts != KEPT_NOTHING ? shortcuts : WhyStays(installation->group));
}
