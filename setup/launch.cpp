// Launches after an install, as the signed-in user: directly, or through the desktop's shell when elevated.
#include "launch.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

// The service that names a view's top-level browser.
static const GUID TOP_LEVEL_BROWSER = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};

// The documented way: the desktop's window among the shell's windows, its browser, the background
// of its view, and the shell application behind that.
IShellDispatch2* FindDesktopShell()
{
    IShellWindows* windows = NULL;
    IDispatch* found = NULL;
    IServiceProvider* provider = NULL;
    IShellBrowser* browser = NULL;
    IShellView* view = NULL;
    IDispatch* background = NULL;
    IShellFolderViewDual* folderView = NULL;
    IDispatch* application = NULL;
    IShellDispatch2* shell = NULL;
    VARIANT location = {}, root = {};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long window;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows, (void**)&windows)) ||
        windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &found) != S_OK ||
        found == NULL || FAILED(found->QueryInterface(IID_IServiceProvider, (void**)&provider)) ||
        FAILED(provider->QueryService(TOP_LEVEL_BROWSER, IID_IShellBrowser, (void**)&browser)) ||
        FAILED(browser->QueryActiveShellView(&view)) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void**)&background)) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, (void**)&folderView)) ||
        FAILED(folderView->get_Application(&application)) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, (void**)&shell)))
        shell = NULL;
    IUnknown* const used[] = {windows, found, provider, browser, view, background, folderView, application};
    for (IUnknown* object : used)
        if (object != NULL)
            object->Release();
    return shell;
}

bool PrepareLaunches(Launcher* launcher, bool elevated, DesktopShellFinder find)
{
    CoInitialize(NULL);
    launcher->elevated = elevated;
    launcher->desktop = elevated ? find() : NULL;
    return !elevated || launcher->desktop != NULL;
}

void LaunchFile(const Launcher* launcher, HWND owner, const char* path)
{
    if (!launcher->elevated) {
        ShellExecuteA(owner, "open", path, NULL, NULL, SW_SHOWDEFAULT);
        return;
    }
    WCHAR wide[MAX_PATH];
    BSTR file = launcher->desktop != NULL && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0
                    ? SysAllocString(wide)
                    : NULL;
    // The verb and the window are named: left empty, some shells take no verb and a hidden window.
    VARIANT none = {}, open = {}, show = {};
    open.vt = VT_BSTR;
    open.bstrVal = SysAllocString(L"open");
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    if (file != NULL && open.bstrVal != NULL)
        launcher->desktop->ShellExecute(file, none, none, open, show);
    SysFreeString(file);
    SysFreeString(open.bstrVal);
}

void ReleaseLaunches(Launcher* launcher)
{
    if (launcher->desktop != NULL)
        launcher->desktop->Release();
    launcher->desktop = NULL;
    CoUninitialize();
}
