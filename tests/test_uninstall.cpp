// The uninstaller end to end: a real install, then the two stages driven through their boxes as a
// user answers them, and the guard that keeps every deletion inside the installation.
#include "setup_session.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>

using namespace driver;

namespace {

const char* const Caption = "Uninstalling Ambit Knob";
const char* const Question = "Are you sure you want to uninstall Ambit Knob?";
const char* const Untouched = "Nothing outside the installation was touched.";
const char* const Marker = "/relaunched";
const char* const SessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
const char* const PendingValue = "PendingFileRenameOperations";

std::string TempFolder()
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    return path;
}

std::string TempCopy()
{
    return TempFolder() + "uninstall.exe";
}

std::string ProgramsFolder()
{
    return ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or("");
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path);
    return path;
}

void RemoveFile(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// A file a test puts somewhere outside its scratch folders, taken away again afterwards with the
// folder levels it needed.
class PlantedFile {
public:
    explicit PlantedFile(std::string path) : path_(std::move(path))
    {
        for (size_t at = path_.find('\\', 3); at != std::string::npos; at = path_.find('\\', at + 1)) {
            std::string level = path_.substr(0, at);
            if (CreateDirectoryA(level.c_str(), NULL))
                madeLevels_.insert(madeLevels_.begin(), level);
        }
        existed_ = FileExists(path_);
        if (!existed_)
            WriteFileBytes(path_, "sentinel");
    }
    ~PlantedFile()
    {
        if (!existed_)
            RemoveFile(path_);
        for (const std::string& level : madeLevels_)
            RemoveDirectoryA(level.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> madeLevels_;
    bool existed_ = false;
};

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name)
    {
        char old[4096];
        DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        existed_ = length > 0 && length < sizeof old;
        if (existed_)
            old_ = old;
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_, existed_ ? old_.c_str() : NULL); }

private:
    const char* name_;
    std::string old_;
    bool existed_ = false;
};

// Uninstaller boxes shown by any process but the given one.
std::vector<HWND> BoxesElsewhere(DWORD excludedId)
{
    std::vector<HWND> boxes;
    for (HWND box : TopWindows(0, "#32770", Caption)) {
        if (WindowProcessId(box) != excludedId)
            boxes.push_back(box);
    }
    return boxes;
}

// The box that follows the question, once the question is answered.
HWND WaitForFinalBox(DWORD processId, HWND question, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil(
        [&] {
            for (HWND box : TopWindows(processId, "#32770", Caption)) {
                std::string text = MessageBoxText(box);
                if (box != question && !text.empty() && text != Question)
                    found = box;
            }
            return found != NULL;
        },
        timeoutMs);
    return found;
}

struct Outcome {
    std::string text;
    bool information = false;
    bool warning = false;
    DWORD milliseconds = 0;
};

// Answers OK, and reads and closes the box that ends the second stage, which must then exit with 0.
Outcome ConfirmAndFinish(HWND question, Process& stage)
{
    Outcome outcome;
    DWORD start = GetTickCount();
    Click(question, IDOK);
    HWND box = WaitForFinalBox(stage.Id(), question, 30000);
    outcome.milliseconds = GetTickCount() - start;
    EXPECT_NE(box, (HWND)NULL) << "no box after the question";
    if (box == NULL)
        return outcome;
    outcome.text = MessageBoxText(box);
    // Each box's icon is looked at on the screen, which takes a moment: only the one it should have.
    bool success = outcome.text.rfind("Success!", 0) == 0;
    outcome.information = success && MessageBoxHasIcon(box, IDI_ASTERISK);
    outcome.warning = !success && MessageBoxHasIcon(box, IDI_EXCLAMATION);
    Click(box, IDOK);
    std::optional<DWORD> code = stage.Wait();
    EXPECT_TRUE(code.has_value()) << "the second stage still runs after its last box";
    if (code)
        EXPECT_EQ(*code, 0u);
    return outcome;
}

std::string SuccessText(const std::string& tempCopy)
{
    return "Success!\n" + tempCopy + " will be deleted after reboot.";
}

// The files registered for deletion at restart: pairs of name and new name, the new name empty.
std::vector<std::string> PendingDeletions()
{
    std::vector<std::string> names;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return names;
    std::vector<char> data(65536);
    DWORD size = (DWORD)data.size(), type = 0;
    LONG status = RegQueryValueExA(hKey, PendingValue, NULL, &type, (BYTE*)data.data(), &size);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return names;
    std::vector<std::string> strings;
    for (DWORD at = 0; at < size;) {
        std::string s(data.data() + at);
        strings.push_back(s);
        at += (DWORD)s.size() + 1;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i + 1].empty())
            names.push_back(strings[i]);
    }
    return names;
}

bool RegisteredForDeletion(const std::string& path)
{
    for (const std::string& name : PendingDeletions()) {
        if (lstrcmpiA(name.c_str(), ("\\??\\" + path).c_str()) == 0)
            return true;
    }
    return false;
}

// Under Wine: the host's name of a Windows path, to reach the host where Windows cannot.
std::string HostPath(const std::string& path)
{
    typedef char*(CDECL * UnixName)(const WCHAR*);
    UnixName unixName = (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (unixName == NULL)
        return std::string();
    std::wstring wide(path.begin(), path.end());
    char* name = unixName(wide.c_str());
    if (name == NULL)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// A symbolic link; Wine makes none itself, so there the host's "ln" makes it.
bool MakeSymbolicLink(const std::string& link, const std::string& target, bool folder)
{
    std::string hostLink = HostPath(link.substr(0, link.find_last_of('\\')));
    std::string hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty())
        return CreateSymbolicLinkA(link.c_str(), target.c_str(), (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 2) != FALSE;
    hostLink += "/" + link.substr(link.find_last_of('\\') + 1);
    std::string command = "\\\\?\\unix\\bin\\ln -s \"" + hostTarget + "\" \"" + hostLink + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // Wine hands the host's program over and does not wait for it.
    return WaitUntil([&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000);
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ProgramsFolder().empty()) << "the prefix has no Programs folder";
        RemoveFile(TempCopy());
    }
    void TearDown() override { RemoveFile(TempCopy()); }

    // Installs with the real installer, the program group on, nothing opened afterwards.
    void Install(const std::string& directory)
    {
        ASSERT_TRUE(InstallWithSetup(directory, true));
        ASSERT_TRUE(FileExists(directory + "\\uninstal.exe"));
        ASSERT_TRUE(FolderExists(GroupFolder()));
    }

    std::string GroupFolder() const { return ProgramsFolder() + "\\Ambit Knob"; }

    // Runs the installed uninstaller as the user does: it must end at once with 0, asking nothing,
    // and leave the question to a second process. Returns that question box.
    HWND RunFirstStage(const std::string& exe)
    {
        Process first(exe, "", exe.substr(0, exe.find_last_of('\\')));
        EXPECT_TRUE(first.Started());
        std::optional<DWORD> code = first.Wait();
        EXPECT_TRUE(code.has_value()) << "the first stage waits for something";
        if (code)
            EXPECT_EQ(*code, 0u);
        HWND question = NULL;
        WaitUntil([&] {
            std::vector<HWND> boxes = BoxesElsewhere(first.Id());
            question = boxes.empty() ? NULL : boxes.front();
            return question != NULL;
        });
        EXPECT_NE(question, (HWND)NULL) << "no second stage asks";
        if (question != NULL)
            second_ = Process::Adopt(WindowProcessId(question));
        return question;
    }

    // The temporary copy started directly, in the given current directory.
    Process StartTempCopy(const std::string& workingDir = "")
    {
        EXPECT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), TempCopy().c_str(), FALSE));
        return Process(TempCopy(), "", workingDir);
    }

    Process second_;
    ScopedValue installDir_{HKEY_CURRENT_USER, ProductKey, "InstallDir"};
    ScopedValue programs_{HKEY_CURRENT_USER, ShellFoldersKey, "Programs"};
    ScopedValue pending_{HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue};
};

// Two stages

TEST_F(Uninstall, FirstStageHandsOverToTempCopyAndCancelRemovesNothing)
{
    std::string dir = FreshFolder("relaunch") + "\\AmbitKnob";
    Install(dir);

    HWND question = RunFirstStage(dir + "\\uninstal.exe");
    ASSERT_NE(question, (HWND)NULL);
    EXPECT_TRUE(ReadFileBytes(TempCopy()) == CarriedFile("uninstal.exe")) << "no copy at " << TempCopy();
    EXPECT_EQ(MessageBoxText(question), Question);
    EXPECT_TRUE(MessageBoxHasIcon(question, IDI_QUESTION));
    EXPECT_TRUE(HasButton(question, IDOK));
    EXPECT_TRUE(HasButton(question, IDCANCEL));

    Click(question, IDCANCEL);
    EXPECT_EQ(second_.Wait(), std::optional<DWORD>(0));
    for (const char* name : CarriedNames)
        EXPECT_TRUE(FileExists(dir + "\\" + name)) << name;
    EXPECT_EQ(FolderEntries(GroupFolder()).size(), 5u);
    EXPECT_TRUE(RegisteredForDeletion(TempCopy())) << "Cancel keeps the registration";
}

TEST_F(Uninstall, TempCopyStartedDirectlyAsksAtOnceAndRegistersItselfForDeletion)
{
    Process second = StartTempCopy();
    HWND question = WaitForDialog(second.Id(), Caption);
    ASSERT_NE(question, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(question), Question);
    EXPECT_TRUE(RegisteredForDeletion(TempCopy()));
    EXPECT_TRUE(BoxesElsewhere(second.Id()).empty()) << "it started another copy";
    Click(question, IDCANCEL);
    EXPECT_EQ(second.Wait(), std::optional<DWORD>(0));
}

TEST_F(Uninstall, CopyStartedWithMarkerElsewhereAsksAtOnceAndStartsNoOtherCopy)
{
    std::string copy = FreshFolder("marker") + "\\uninstal.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), copy.c_str(), FALSE));
    Process second(copy, Marker);
    HWND question = WaitForDialog(second.Id(), Caption);
    ASSERT_NE(question, (HWND)NULL);
    EXPECT_EQ(MessageBoxText(question), Question);
    EXPECT_FALSE(FileExists(TempCopy()));
    EXPECT_FALSE(WaitUntil([&] { return !BoxesElsewhere(second.Id()).empty(); }, 1500));
    EXPECT_TRUE(RegisteredForDeletion(copy)) << "the running copy registers itself";
    Click(question, IDCANCEL);
    EXPECT_EQ(second.Wait(), std::optional<DWORD>(0));
}

TEST_F(Uninstall, FirstStageWhoseCopyCannotBeMadeStartsNothingAndSaysSo)
{
    std::string dir = FreshFolder("copy-refused") + "\\AmbitKnob";
    Install(dir);
    // A file of its own at the temporary path, read-only and held open against writing.
    std::string planted = CarriedFile("ak.exe");
    WriteFileBytes(TempCopy(), planted);
    SetFileAttributesA(TempCopy().c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE lock = CreateFileA(TempCopy().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    Process first(dir + "\\uninstal.exe", "", dir);
    HWND box = WaitForDialog(first.Id(), Caption);
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_NE(MessageBoxText(box).find("cannot start"), std::string::npos) << MessageBoxText(box);
    EXPECT_NE(MessageBoxText(box).find("Nothing was removed"), std::string::npos);
    EXPECT_TRUE(MessageBoxHasIcon(box, IDI_HAND));
    Click(box, IDOK);
    EXPECT_EQ(first.Wait(), std::optional<DWORD>(0));
    CloseHandle(lock);

    EXPECT_FALSE(WaitUntil([&] {
        return FindTopWindow(0, "SimpleClass", NULL) != NULL || !BoxesElsewhere(first.Id()).empty();
    }, 2000)) << "something was started";
    EXPECT_TRUE(ReadFileBytes(TempCopy()) == planted);
    for (const char* name : CarriedNames)
        EXPECT_TRUE(FileExists(dir + "\\" + name)) << name;
}

TEST_F(Uninstall, TempFolderTooLongForTheCopyStartsNothing)
{
    std::string copy = FreshFolder("long-temp") + "\\uninstal.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), copy.c_str(), FALSE));
    // With its separator and "uninstall.exe" the copy's path needs 264 characters.
    std::string longTemp = "D:\\" + std::string(247, 't') + "\\";
    ScopedEnvironment tmp("TMP", longTemp), temp("TEMP", longTemp);

    Process first(copy);
    HWND box = WaitForDialog(first.Id(), Caption);
    ASSERT_NE(box, (HWND)NULL);
    EXPECT_NE(MessageBoxText(box).find("cannot start"), std::string::npos) << MessageBoxText(box);
    Click(box, IDOK);
    EXPECT_EQ(first.Wait(), std::optional<DWORD>(0));
    EXPECT_FALSE(WaitUntil([&] { return !BoxesElsewhere(first.Id()).empty(); }, 1500));
}

// Removal

TEST_F(Uninstall, RemovesDirectoryAndGroupAfterClosingTheProductAndReportsSuccess)
{
    std::string dir = FreshFolder("full") + "\\AmbitKnob";
    Install(dir);
    WriteFileBytes(dir + "\\settings.ini", "made by the product");
    MakeFolders(dir + "\\cache\\deep");
    WriteFileBytes(dir + "\\cache\\deep\\data.bin", "x");
    std::string report = FreshFolder("full-report") + "\\report.txt";
    Process product(BuildPath("tests\\probe_product.exe"), "watch \"" + dir + "\" \"" + report + "\"");
    ASSERT_NE(WaitForTopWindow(product.Id(), "SimpleClass", NULL), (HWND)NULL);

    HWND question = RunFirstStage(dir + "\\uninstal.exe");
    ASSERT_NE(question, (HWND)NULL);
    Outcome outcome = ConfirmAndFinish(question, second_);

    EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
    EXPECT_TRUE(outcome.information);
    EXPECT_EQ(ReadFileBytes(report), "present") << "the product's window was not closed before the directory went";
    EXPECT_TRUE(product.Wait(5000).has_value()) << "the product still runs";
    EXPECT_FALSE(FolderExists(dir));
    EXPECT_TRUE(FolderExists(dir.substr(0, dir.find_last_of('\\'))));
    EXPECT_FALSE(FolderExists(GroupFolder()));
    EXPECT_TRUE(FolderExists(ProgramsFolder()));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir"), std::optional<std::string>(dir));
    EXPECT_TRUE(FileExists(TempCopy()));
}

// The way a user normally goes: the "Uninstall" shortcut in the program group, opened by the shell.
TEST_F(Uninstall, ShortcutInTheProgramGroupRemovesEverything)
{
    std::string dir = FreshFolder("from-group") + "\\AmbitKnob";
    Install(dir);
    std::string shortcut = GroupFolder() + "\\uninstal.exe.lnk";
    ASSERT_TRUE(FileExists(shortcut));
    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", shortcut.c_str(), NULL, NULL, SW_SHOWDEFAULT), 32);

    HWND question = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (question = FindTopWindow(0, "#32770", Caption)) != NULL; }));
    Process second = Process::Adopt(WindowProcessId(question));
    EXPECT_EQ(MessageBoxText(question), Question);
    Outcome outcome = ConfirmAndFinish(question, second);

    EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
    EXPECT_FALSE(FolderExists(dir));
    EXPECT_FALSE(FolderExists(GroupFolder()));
}

TEST_F(Uninstall, WithTwoProductsRunningClosesOne)
{
    std::string dir = FreshFolder("two") + "\\AmbitKnob";
    Install(dir);
    Process one(BuildPath("ak.exe")), two(BuildPath("ak.exe"));
    ASSERT_NE(WaitForTopWindow(one.Id(), "SimpleClass", NULL), (HWND)NULL);
    ASSERT_NE(WaitForTopWindow(two.Id(), "SimpleClass", NULL), (HWND)NULL);

    Process second = StartTempCopy();
    HWND question = WaitForDialog(second.Id(), Caption);
    ASSERT_NE(question, (HWND)NULL);
    Outcome outcome = ConfirmAndFinish(question, second);

    EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
    bool oneEnded = one.Wait(3000).has_value();
    bool twoEnded = two.Wait(0).has_value();
    EXPECT_NE(oneEnded, twoEnded) << "one product was to be closed, and only one";
    EXPECT_EQ(TopWindows(0, "SimpleClass", NULL).size(), 1u);
    EXPECT_FALSE(FolderExists(dir));
}

TEST_F(Uninstall, ProductThatNeverAnswersDoesNotHoldUpTheUninstall)
{
    std::string dir = FreshFolder("hung") + "\\AmbitKnob";
    Install(dir);
    Process product(BuildPath("tests\\probe_product.exe"), "hang");
    ASSERT_NE(WaitForTopWindow(product.Id(), "SimpleClass", NULL), (HWND)NULL);

    Process second = StartTempCopy();
    HWND question = WaitForDialog(second.Id(), Caption);
    ASSERT_NE(question, (HWND)NULL);
    Outcome outcome = ConfirmAndFinish(question, second);

    EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
    EXPECT_LT(outcome.milliseconds, 12000u);
    EXPECT_FALSE(FolderExists(dir));
    EXPECT_FALSE(product.Wait(0).has_value()) << "the hung product was expected to be still hanging";
}

TEST_F(Uninstall, EmptyOrVanishedInstallDirIsNothingToRemoveAndTheGroupStillGoes)
{
    std::string cwd = FreshFolder("nothing-cwd");
    PlantedFile inCwd(cwd + "\\ak.exe");
    for (std::string recorded : {std::string(), FreshFolder("vanished") + "\\AmbitKnob"}) {
        SCOPED_TRACE("InstallDir \"" + recorded + "\"");
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", recorded);
        MakeFolders(GroupFolder());
        WriteFileBytes(GroupFolder() + "\\ak.exe.lnk", "link");

        Process second = StartTempCopy(cwd);
        HWND question = WaitForDialog(second.Id(), Caption);
        ASSERT_NE(question, (HWND)NULL);
        Outcome outcome = ConfirmAndFinish(question, second);

        EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
        EXPECT_FALSE(FolderExists(GroupFolder()));
        EXPECT_TRUE(FileExists(inCwd.Path()));
    }
}

TEST_F(Uninstall, SuccessTextTooLongForItsBufferLeavesOutThePath)
{
    // Fits as the copy's path (244 characters), not inside the success text.
    std::string longTemp = FreshFolder(std::string(227, 'u'));
    ASSERT_TRUE(FolderExists(longTemp));
    DeleteValue(HKEY_CURRENT_USER, ProductKey, "InstallDir");
    std::string copy = FreshFolder("long-text") + "\\uninstal.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), copy.c_str(), FALSE));
    HWND question;
    {
        ScopedEnvironment tmp("TMP", longTemp), temp("TEMP", longTemp);
        question = RunFirstStage(copy);
    }
    ASSERT_NE(question, (HWND)NULL);
    EXPECT_TRUE(FileExists(longTemp + "\\uninstall.exe"));
    Outcome outcome = ConfirmAndFinish(question, second_);
    EXPECT_EQ(outcome.text, "Success!\nThe uninstaller's temporary copy will be deleted after reboot.");
    EXPECT_TRUE(outcome.information);
    RemoveFile(longTemp + "\\uninstall.exe");
}

// The guard: whatever the registry says, nothing outside the installation goes.

class UninstallGuard : public Uninstall {
protected:
    void SetUp() override
    {
        Uninstall::SetUp();
        cwd_ = FreshFolder("guard-cwd");
    }

    // Runs the second stage and expects `named` in a warning about what was left in place.
    Outcome RunExpectingLeftInPlace(const std::string& named)
    {
        Process second = StartTempCopy(cwd_);
        HWND question = WaitForDialog(second.Id(), Caption);
        EXPECT_NE(question, (HWND)NULL);
        if (question == NULL)
            return Outcome();
        Outcome outcome = ConfirmAndFinish(question, second);
        EXPECT_TRUE(outcome.warning);
        EXPECT_NE(outcome.text.find("\n" + named + "\n"), std::string::npos) << outcome.text;
        EXPECT_NE(outcome.text.find(Untouched), std::string::npos) << outcome.text;
        EXPECT_EQ(outcome.text.find("Success!"), std::string::npos) << outcome.text;
        return outcome;
    }

    // "InstallDir" as given; sentinels, each beside an "ak.exe" so that only the rule under test
    // can save them, wherever a wrong reading of it would delete.
    void ExpectInstallDirRefused(const std::string& recorded, const std::vector<std::string>& targets)
    {
        std::vector<std::unique_ptr<PlantedFile>> sentinels;
        for (const std::string& folder : targets) {
            sentinels.push_back(std::make_unique<PlantedFile>(folder + "\\ak.exe"));
            sentinels.push_back(std::make_unique<PlantedFile>(folder + "\\keep.txt"));
        }
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", recorded);
        RunExpectingLeftInPlace(recorded);
        for (const auto& sentinel : sentinels)
            EXPECT_TRUE(FileExists(sentinel->Path())) << sentinel->Path();
        for (const std::string& folder : targets)
            EXPECT_TRUE(FolderExists(folder)) << folder;
        // The last planted goes first, so that the folders they needed are empty in the end.
        while (!sentinels.empty())
            sentinels.pop_back();
    }

    std::string cwd_;
};

TEST_F(UninstallGuard, RefusesDriveRoots)
{
    ExpectInstallDirRefused("C:\\", {"C:"});
    ExpectInstallDirRefused("D:\\guard-up\\..\\..", {"D:"});
}

TEST_F(UninstallGuard, RefusesRelativeAndDriveRelativeNames)
{
    std::string temp = TempFolder();
    ExpectInstallDirRefused("AmbitKnob", {cwd_ + "\\AmbitKnob", temp + "AmbitKnob"});
    ExpectInstallDirRefused("D:AmbitKnob", {cwd_ + "\\AmbitKnob", "D:\\AmbitKnob", temp + "AmbitKnob"});
    ExpectInstallDirRefused("\\AmbitKnob", {"D:\\AmbitKnob", "C:\\AmbitKnob", cwd_ + "\\AmbitKnob"});
}

TEST_F(UninstallGuard, RefusesSystemAndShellFoldersAndWhatHoldsThem)
{
    std::string profile = ShellFolder(CSIDL_PROFILE);
    ASSERT_FALSE(profile.empty());
    ExpectInstallDirRefused(profile + "\\", {profile});
    std::string users = profile.substr(0, profile.find_last_of('\\'));
    ExpectInstallDirRefused(users, {users});
    ExpectInstallDirRefused(ShellFolder(CSIDL_WINDOWS), {ShellFolder(CSIDL_WINDOWS)});
    std::string temp = TempFolder();
    ExpectInstallDirRefused(temp, {temp.substr(0, temp.size() - 1)});
}

TEST_F(UninstallGuard, RefusesDevicePaths)
{
    std::string folder = FreshFolder("guard-device");
    ExpectInstallDirRefused("\\\\?\\" + folder, {folder});
    std::string host = HostPath(folder);
    if (!host.empty()) {
        // Wine reaches the host's own files this way.
        std::string hostName = host;
        for (char& c : hostName)
            c = c == '/' ? '\\' : c;
        ExpectInstallDirRefused("\\\\?\\unix" + hostName, {folder});
    }
}

TEST_F(UninstallGuard, RefusesAFolderWithoutTheProductsFiles)
{
    std::string folder = FreshFolder("guard-foreign");
    WriteFileBytes(folder + "\\notes.txt", "mine");
    WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", folder);
    RunExpectingLeftInPlace(folder);
    EXPECT_TRUE(FileExists(folder + "\\notes.txt"));
}

TEST_F(UninstallGuard, NeverFollowsALinkInsideTheInstallation)
{
    std::string dir = FreshFolder("guard-link") + "\\AmbitKnob";
    Install(dir);
    std::string elsewhere = BuildPath("tests\\link-target");
    MakeFolders(elsewhere);
    WriteFileBytes(elsewhere + "\\keep.txt", "outside the installation");
    WriteFileBytes(BuildPath("tests\\link-target.txt"), "outside the installation");
    ASSERT_TRUE(MakeSymbolicLink(dir + "\\linked-folder", elsewhere, true));
    ASSERT_TRUE(MakeSymbolicLink(dir + "\\linked-file.txt", BuildPath("tests\\link-target.txt"), false));

    HWND question = RunFirstStage(dir + "\\uninstal.exe");
    ASSERT_NE(question, (HWND)NULL);
    Outcome outcome = ConfirmAndFinish(question, second_);

    EXPECT_TRUE(FileExists(elsewhere + "\\keep.txt"));
    EXPECT_TRUE(FileExists(BuildPath("tests\\link-target.txt")));
    if (FolderExists(dir)) {
        EXPECT_TRUE(outcome.warning);
        EXPECT_NE(outcome.text.find("\n" + dir + "\n"), std::string::npos) << outcome.text;
    } else {
        // A system that removes links as links lets the whole installation go.
        EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
    }
    EXPECT_FALSE(FolderExists(GroupFolder())) << "the group is removed on its own";
}

TEST_F(UninstallGuard, LeavesATreeTooDeepToCheckWhole)
{
    std::string dir = FreshFolder("guard-deep") + "\\AmbitKnob";
    Install(dir);
    std::wstring deep = L"\\\\?\\" + std::wstring(dir.begin(), dir.end());
    for (int level = 0; level < 5; level++) {
        deep += L"\\" + std::wstring(50, L'a' + level);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    std::wstring deepFile = deep + L"\\deep.txt";
    HANDLE file = CreateFileW(deepFile.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", dir);

    RunExpectingLeftInPlace(dir);
    EXPECT_NE(GetFileAttributesW(deepFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FileExists(dir + "\\uninstal.exe"));
}

TEST_F(UninstallGuard, SkipsTheGroupForAnEmptyOrRelativeProgramsFolder)
{
    DeleteValue(HKEY_CURRENT_USER, ProductKey, "InstallDir");
    std::string temp = TempFolder();
    for (std::string programs : {std::string(), std::string("Start Menu\\Programs")}) {
        SCOPED_TRACE("Programs \"" + programs + "\"");
        std::string relativeGroup = programs.empty() ? "Ambit Knob" : programs + "\\Ambit Knob";
        std::vector<std::unique_ptr<PlantedFile>> sentinels;
        for (const std::string& folder : {cwd_ + "\\" + relativeGroup, temp + relativeGroup})
            sentinels.push_back(std::make_unique<PlantedFile>(folder + "\\keep.txt"));
        WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);

        Process second = StartTempCopy(cwd_);
        HWND question = WaitForDialog(second.Id(), Caption);
        ASSERT_NE(question, (HWND)NULL);
        Outcome outcome = ConfirmAndFinish(question, second);

        EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
        for (const auto& sentinel : sentinels)
            EXPECT_TRUE(FileExists(sentinel->Path())) << sentinel->Path();
    }
}

TEST_F(UninstallGuard, NamesAGroupFolderTooLongForItsBuffer)
{
    DeleteValue(HKEY_CURRENT_USER, ProductKey, "InstallDir");
    // 254 characters with the separator; "Ambit Knob" does not fit behind them. Blanks let the
    // box wrap the name.
    std::string programs = "D:\\";
    while (programs.size() < 253)
        programs += "Programs ";
    programs.resize(253);
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
    RunExpectingLeftInPlace(programs + "\\Ambit Knob");
}

}  // namespace
