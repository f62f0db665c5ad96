// The program group's shortcuts: each made in memory and written as a new file.
#include "group.h"

#include "../common/text.h"

#include <shlobj.h>
#include <shlwapi.h>

// The shortcut is made in memory and written as a new file, as the carried files are: a file of its
// name that appeared meanwhile is never written over.
HANDLE CreateShortcut(const WCHAR* target, const WCHAR* linkPath, const char* description)
{
    // Static for the frame limit: a shortcut's bytes would take most of it.
    static BYTE s_bytes[16384];
    WCHAR wideDescription[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    IShellLinkW* link = NULL;
    IPersistStream* persist = NULL;
    IStream* stream = SHCreateMemStream(NULL, 0);
    ULONG size = 0;
    if (stream == NULL || MultiByteToWideChar(CP_ACP, 0, description, -1, wideDescription, MAX_PATH) == 0)
        goto release;
    CoInitialize(NULL);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link))) {
        LARGE_INTEGER start = {};
        link->SetPath(target);
        link->SetDescription(wideDescription);
        if (SUCCEEDED(link->QueryInterface(IID_IPersistStream, (void**)&persist))) {
            if (FAILED(persist->Save(stream, TRUE)) || FAILED(stream->Seek(start, STREAM_SEEK_SET, NULL)) ||
                FAILED(stream->Read(s_bytes, sizeof s_bytes, &size)) || size == sizeof s_bytes)
                size = 0;
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    if (size > 0)
        file = CreateFileW(linkPath, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE,
                           NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (!WriteFile(file, s_bytes, size, &written, NULL) || written != size) {
            SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
release:
    if (stream != NULL)
        stream->Release();
    return file;
}
