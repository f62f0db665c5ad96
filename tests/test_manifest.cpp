// What Windows reads from each built executable before running it: the manifest resource, parsed by
// the system's own activation-context code, and the few entries in it the package depends on.
#include "../resources/resource.h"
#include "driver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

using namespace driver;

namespace {

struct Executable {
    const char* name;
    DWORD runLevel;
};

const Executable EXECUTABLES[] = {
    {"setup.exe", ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE},
    {"uninstal.exe", ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE},
    {"ak.exe", ACTCTX_RUN_LEVEL_AS_INVOKER},
};

// Windows Vista, 7, 8, 8.1 and 10/11, the systems on which the package behaves as on its own.
const char* const SUPPORTED_OS[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
};

// The manifest Windows uses when it starts a program: type 24 (RT_MANIFEST), id 1.
std::string ManifestText(const std::string& exe)
{
    HMODULE module = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL)
        return std::string();
    std::string text;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found != NULL) {
        const char* bytes = (const char*)LockResource(LoadResource(module, found));
        text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

class ActivationContext {
public:
    explicit ActivationContext(const std::string& exe)
    {
        ACTCTXA context = {};
        context.cbSize = sizeof context;
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = exe.c_str();
        context.lpResourceName = MAKEINTRESOURCEA(1);
        handle_ = CreateActCtxA(&context);
    }
    ~ActivationContext()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ReleaseActCtx(handle_);
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

    bool RunLevel(ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION& info) const
    {
        return QueryActCtxW(0, handle_, NULL, RunlevelInformationInActivationContext, &info, sizeof info, NULL);
    }

    // The identity of the n-th assembly: 1 is the program itself, 2 its first dependency.
    std::wstring AssemblyIdentity(DWORD index) const
    {
        SIZE_T needed = 0;
        QueryActCtxW(0, handle_, &index, AssemblyDetailedInformationInActivationContext, NULL, 0, &needed);
        if (needed == 0)
            return std::wstring();
        std::vector<BYTE> buffer(needed);
        auto* info = (ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*)buffer.data();
        if (!QueryActCtxW(0, handle_, &index, AssemblyDetailedInformationInActivationContext, info, needed, NULL) ||
            info->lpAssemblyEncodedAssemblyIdentity == NULL)
            return std::wstring();
        return info->lpAssemblyEncodedAssemblyIdentity;
    }

    // A <windowsSettings> value such as dpiAware, as the system reads it.
    std::wstring WindowsSetting(const wchar_t* name) const
    {
        typedef NTSTATUS(NTAPI * QuerySettings)(DWORD, HANDLE, const WCHAR*, const WCHAR*, WCHAR*, SIZE_T, SIZE_T*);
        auto query = (QuerySettings)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                   "RtlQueryActivationContextApplicationSettings");
        if (query == NULL)
            return L"(no settings query)";
        WCHAR value[64] = L"";
        SIZE_T written = 0;
        if (query(0, handle_, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", name, value,
                  sizeof value / sizeof value[0], &written) != 0)
            return std::wstring();
        return value;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST(Manifest, EachExecutableCarriesOneTheSystemAccepts)
{
    for (const Executable& exe : EXECUTABLES) {
        SCOPED_TRACE(exe.name);
        std::string text = ManifestText(BuildPath(exe.name));
        ASSERT_FALSE(text.empty()) << "no manifest resource with id 1";
        EXPECT_EQ(text.rfind("<?xml", 0), 0u);
        EXPECT_TRUE(ActivationContext(BuildPath(exe.name)).Valid()) << "the system rejects the manifest";
    }
}

TEST(Manifest, InstallerAndUninstallerAskForTheHighestAvailableLevelTheProductForNone)
{
    for (const Executable& exe : EXECUTABLES) {
        SCOPED_TRACE(exe.name);
        ActivationContext context(BuildPath(exe.name));
        ASSERT_TRUE(context.Valid());
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info = {};
        ASSERT_TRUE(context.RunLevel(info));
        EXPECT_EQ(info.RunLevel, (ACTCTX_REQUESTED_RUN_LEVEL)exe.runLevel);
        EXPECT_EQ(info.UiAccess, 0u);
    }
}

TEST(Manifest, DeclaresWindowsVistaToElevenSystemDpiAwareAndCommonControls6)
{
    for (const Executable& exe : EXECUTABLES) {
        SCOPED_TRACE(exe.name);
        std::string text = ManifestText(BuildPath(exe.name));
        for (const char* id : SUPPORTED_OS)
            EXPECT_NE(text.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;

        ActivationContext context(BuildPath(exe.name));
        ASSERT_TRUE(context.Valid());
        EXPECT_EQ(context.WindowsSetting(L"dpiAware"), L"true");
        // The dependency resolves to the system's side-by-side Common Controls, version 6.
        std::wstring controls = context.AssemblyIdentity(2);
        EXPECT_EQ(controls.rfind(L"Microsoft.Windows.Common-Controls,", 0), 0u) << std::string(controls.begin(), controls.end());
        EXPECT_NE(controls.find(L"version=\"6."), std::wstring::npos);
        EXPECT_NE(controls.find(L"publicKeyToken=\"6595b64144ccf1df\""), std::wstring::npos);
    }
}

// What the manifest changes when the installer runs: its dialog's controls are the version 6 common
// controls, whose combo box tells how many list entries it shows at least; the older one knows no
// such request and answers 0.
TEST(Manifest, TheInstallersDialogUsesCommonControls6)
{
    Process setup(BuildPath("setup.exe"));
    ASSERT_TRUE(setup.Started());
    HWND dialog = WaitForDialog(setup.Id(), "Ambit Knob 2.00 Setup");
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_GT(SendDlgItemMessageA(dialog, IDC_DESTINATION, CB_GETMINVISIBLE, 0, 0), 0);
    CloseFromTitleBar(dialog);
    EXPECT_EQ(setup.Wait(), std::optional<DWORD>(0));
}
