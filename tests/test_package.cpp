// What the build put into the executables: the six carried files in the installer, each program's
// own icon, and the manifest the system reads before it runs a program.
#include "driver.h"
#include "payload.h"

// Byte for byte what the build was given, in install order; the texts in CR LF lines.
TEST(Payload, CarriesTheBuildInputsInInstallOrder)
{
    for (int i = 0; i < PAYLOAD_COUNT; i++) {
        std::string embedded((const char*)PayloadSet[i].content, PayloadSet[i].length);
        EXPECT_STREQ(PayloadSet[i].name, CarriedNames[i]);
        EXPECT_STREQ(CARRIED_FILE_NAMES[i], CarriedNames[i]) << "the names the uninstaller removes";
        EXPECT_TRUE(!embedded.empty() && embedded == CarriedFile(CarriedNames[i])) << CarriedNames[i];
        bool program = i == PAYLOAD_UNINSTALLER || i == PAYLOAD_PROGRAM;
        EXPECT_EQ(embedded.rfind("MZ", 0) == 0, program) << CarriedNames[i];
        for (size_t at = 0; !program && at < embedded.size(); at++)
            ASSERT_TRUE((embedded[at] == '\r') == (embedded.substr(at, 2) == "\r\n") &&
                        (embedded[at] == '\n') == (at > 0 && embedded.substr(at - 1, 2) == "\r\n") && embedded.back() == '\n')
                << CarriedNames[i] << ": a line end that is not CR LF at " << at;
    }
}

// One 32 x 32 image in 16 colours for each program, the uninstaller's its own.
TEST(Resources, EachExecutableHasItsOwnSmallIcon)
{
    std::string images[2];
    for (int i = 0; i < 2; i++) {
        HMODULE module = LoadLibraryExA(BuildPath(i ? "uninstal.exe" : "setup.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        const BYTE* group = (const BYTE*)LockResource(LoadResource(module, FindResourceA(module, MAKEINTRESOURCEA(i ? IDI_UNINSTALL : IDI_SETUP), RT_GROUP_ICON)));
        ASSERT_TRUE(group && group[4] == 1 && group[6] == 32 && group[7] == 32 && (group[8] == 16 || group[12] == 4)) << i;
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(*(const WORD*)(group + 18)), RT_ICON);
        images[i].assign((const char*)LockResource(LoadResource(module, image)), SizeofResource(module, image));
        FreeLibrary(module);
    }
    EXPECT_NE(images[0], images[1]) << "the uninstaller shows the installer's icon";
}

// As the system's activation-context code reads each manifest: the level asked for and DPI
// awareness. (The installer's dialog shows the Common Controls 6 it asks for.)
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
        ReleaseActCtx(context);
    }
}
