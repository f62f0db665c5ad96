// What the system reads from each built executable before it runs it: the manifest.
#include "driver.h"

// As the system's activation-context code reads each manifest: the level asked for, DPI
// awareness and the processor. (The installer's dialog shows the Common Controls 6 it asks for.)
TEST(Manifest, TheSystemReadsRunLevelAndDpiAwareness)
{
    auto settings = (LONG(NTAPI*)(DWORD, HANDLE, const WCHAR*, const WCHAR*, WCHAR*, SIZE_T, SIZE_T*))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "RtlQueryActivationContextApplicationSettings");
    const std::pair<const char*, ACTCTX_REQUESTED_RUN_LEVEL> executables[] = {
        {"setup.exe", ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE}, {"uninstal.exe", ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE},
        {"ak.exe", ACTCTX_RUN_LEVEL_AS_INVOKER}};
    for (auto [exe, level] : executables) {
        std::string path = BuildPath(exe);
        ACTCTXA request = {sizeof request, ACTCTX_FLAG_RESOURCE_NAME_VALID, path.c_str(), 0, 0, NULL, MAKEINTRESOURCEA(1)};
        HANDLE context = CreateActCtxA(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE) << exe << ": the system rejects the manifest";
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION run = {};
        QueryActCtxW(0, context, NULL, RunlevelInformationInActivationContext, &run, sizeof run, NULL);
        EXPECT_TRUE(run.RunLevel == level && run.UiAccess == 0) << exe;
        WCHAR dpiAware[64] = L"";
        settings(0, context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", dpiAware, 64, NULL);
        EXPECT_STREQ(dpiAware, L"true") << exe;
        // The program's own identity names the package's processor, as the test is built for it.
        DWORD index = 1;
        SIZE_T size = 0;
        QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, NULL, 0, &size);
        std::vector<BYTE> buffer(size + 1);
        auto* assembly = (ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*)buffer.data();
        ASSERT_TRUE(QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, assembly, size, NULL)) << exe;
        std::wstring identity = assembly->lpAssemblyEncodedAssemblyIdentity;
        EXPECT_NE(identity.find(sizeof(void*) == 8 ? L"processorArchitecture=\"amd64\"" : L"processorArchitecture=\"x86\""),
                  std::wstring::npos) << exe << ": " << std::string(identity.begin(), identity.end());
        ReleaseActCtx(context);
    }
}
