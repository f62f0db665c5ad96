// Reading setup's shortcuts back.
#include "shortcut.h"

#include "identity.h"
#include "names.h"
#include "text.h"

#include <shlobj.h>
#include <shlwapi.h>

// The largest shortcut file setup makes is far smaller; anything larger is not one of them.
enum { LARGEST_SHORTCUT = 16384 };

int ReadSetupShortcut(const OpenedFile* file, WCHAR* folder)
{
    // Static for the frame limit: a shortcut's bytes would take most of it.
    static BYTE s_bytes[LARGEST_SHORTCUT];
    LARGE_INTEGER start = {};
    DWORD read = 0;
    folder[0] = L'\0';
    if (!SetFilePointerEx(file->handle, start, NULL, FILE_BEGIN) ||
        !ReadFile(file->handle, s_bytes, sizeof s_bytes, &read, NULL) || read == 0 || read == sizeof s_bytes)
        return -1;
    IStream* stream = SHCreateMemStream(s_bytes, read);
    if (stream == NULL)
        return -1;
    int index = -1;
    IShellLinkW* link = NULL;
    IPersistStream* persist = NULL;
    WCHAR description[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistStream, (void**)&persist)) && SUCCEEDED(persist->Load(stream)) &&
            link->GetPath(folder, MAX_PATH, NULL, SLGP_RAWPATH) == S_OK &&
            SUCCEEDED(link->GetDescription(description, MAX_PATH))) {
            WCHAR* leaf = folder + lstrlenW(folder);
            while (leaf > folder && leaf[-1] != L'\\')
                leaf--;
            for (int i = 0; i < PAYLOAD_COUNT && index < 0; i++) {
                WCHAR name[32], wanted[MAX_PATH];
                if (SHORTCUT_DESCRIPTIONS[i] != NULL &&
                    MultiByteToWideChar(CP_ACP, 0, CARRIED_FILE_NAMES[i], -1, name, 32) > 0 &&
                    MultiByteToWideChar(CP_ACP, 0, SHORTCUT_DESCRIPTIONS[i], -1, wanted, MAX_PATH) > 0 &&
                    SameText(leaf, -1, name, -1) &&
                    CompareStringOrdinal(description, -1, wanted, -1, FALSE) == CSTR_EQUAL)
                    index = i;
            }
            // The target's folder: its name cut off, and the separator before it.
            *leaf = L'\0';
            if (leaf > folder && !(leaf - folder == 3 && folder[1] == L':'))
                leaf[-1] = L'\0';
        }
        if (persist != NULL)
            persist->Release();
        link->Release();
    }
    stream->Release();
    if (index < 0)
        folder[0] = L'\0';
    return index;
}
