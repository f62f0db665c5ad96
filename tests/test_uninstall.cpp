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

// Runs a program of the host (Wine only) and waits until the condition holds; Wine hands the host's
// program over and does not wait for it.
template <typename Condition> bool RunOnHost(const std::string& command, Condition done)
{
    std::string line = "\\\\?\\unix" + command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return WaitUntil(done, 5000);
}

// A symbolic link; Wine makes none itself, so there the host's "ln" makes it.
bool MakeSymbolicLink(const std::string& link, const std::string& target, bool folder)
{
    std::string hostLink = HostPath(link.substr(0, link.find_last_of('\\')));
    std::string hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty())
        return CreateSymbolicLinkA(link.c_str(), target.c_str(), (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 2) != FALSE;
    hostLink += "/" + link.substr(link.find_last_of('\\') + 1);
    return RunOnHost("/bin/ln -s \"" + hostTarget + "\" \"" + hostLink + "\"",
                     [&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// A second drive letter for a folder, as SUBST makes one; under Wine a second drive link in the
// prefix, inside the build tree like every other drive of the test prefix.
class ScopedDrive {
public:
    ScopedDrive(char letter, const std::string& target) : root_(std::string(1, letter) + ":\\")
    {
        host_ = HostPath(BuildPath("wine\\prefix\\dosdevices"));
        if (!host_.empty())
            host_ += "/" + std::string(1, (char)tolower(letter)) + ":";
        if (host_.empty())
            DefineDosDeviceA(0, root_.substr(0, 2).c_str(), target.c_str());
        else
            RunOnHost("/bin/ln -s \"" + HostPath(target) + "\" \"" + host_ + "\"",
                      [&] { return FolderExists(root_); });
    }
    ~ScopedDrive()
    {
        if (host_.empty())
            DefineDosDeviceA(DDD_REMOVE_DEFINITION, root_.substr(0, 2).c_str(), NULL);
        else
            RunOnHost("/bin/rm \"" + host_ + "\"", [&] { return !FolderExists(root_); });
    }
    const std::string& Root() const { return root_; }

private:
    std::string root_, host_;
};

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

bool ExistsW(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFileW(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

// Why the last box says a folder was left in place.
const char* const RefusedSystem = "refused: a drive, or a folder that is or holds a folder of the system or of a user";
const char* const RefusedForeign = "refused: not a folder of Ambit Knob";
const char* const HoldsOthers = "kept: it holds files the installer did not write";
const char* const NotRemoved = "kept: it could not be removed";

std::string Kept(const std::string& folder, const char* reason)
{
    return "\n" + folder + "\n    " + reason + "\n";
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ProgramsFolder().empty()) << "the prefix has no Programs folder";
        RemoveFile(TempCopy());
        cwd_ = FreshFolder("uninstall-cwd");
    }
    void TearDown() override { RemoveFile(TempCopy()); }

    // Installs with the real installer, the program group on, nothing opened afterwards.
    void Install(const std::string& directory)
    {
        ASSERT_TRUE(InstallWithSetup(directory, true)) << directory;
        ASSERT_TRUE(FileExists(directory + "\\uninstal.exe"));
        ASSERT_TRUE(FolderExists(GroupFolder()));
    }

    std::string GroupFolder() const { return ProgramsFolder() + "\\Ambit Knob"; }

    // What an install records: the directory, and the same text again when the installer made it.
    void Record(const std::string& installDir, bool owned)
    {
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", installDir);
        WriteString(HKEY_CURRENT_USER, ProductKey, "OwnedDir", owned ? installDir : "");
    }

    // Runs a copy of the uninstaller as the user does: it must end at once with 0, asking nothing,
    // and leave the question to a second process. Returns that question box.
    HWND RunFirstStage(const std::string& exe, const std::string& arguments = "")
    {
        Process first(exe, arguments, exe.substr(0, exe.find_last_of('\\')));
        EXPECT_TRUE(first.Started());
        std::optional<DWORD> code = first.Wait();
        EXPECT_EQ(code, std::optional<DWORD>(0)) << "the first stage waits for something, or failed";
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

    // The second stage on whatever the registry records, answered with OK.
    Outcome Uninstalled()
    {
        Process second = StartTempCopy(cwd_);
        HWND question = WaitForDialog(second.Id(), Caption);
        EXPECT_NE(question, (HWND)NULL);
        return question == NULL ? Outcome() : ConfirmAndFinish(question, second);
    }

    // The installed uninstaller, from its first stage to its last box.
    Outcome UninstalledFrom(const std::string& directory)
    {
        HWND question = RunFirstStage(directory + "\\uninstal.exe");
        return question == NULL ? Outcome() : ConfirmAndFinish(question, second_);
    }

    void ExpectSuccess(const Outcome& outcome)
    {
        EXPECT_EQ(outcome.text, SuccessText(TempCopy()));
        EXPECT_TRUE(outcome.information);
    }

    void ExpectKept(const Outcome& outcome, const std::string& folder, const char* reason)
    {
        EXPECT_TRUE(outcome.warning);
        EXPECT_NE(outcome.text.find(Kept(folder, reason)), std::string::npos) << outcome.text;
        EXPECT_NE(outcome.text.find(Untouched), std::string::npos) << outcome.text;
        EXPECT_EQ(outcome.text.substr(outcome.text.rfind('\n') + 1), TempCopy() + " will be deleted after reboot.");
    }

    std::string cwd_;
    Process second_;
    ScopedValue installDir_{HKEY_CURRENT_USER, ProductKey, "InstallDir"};
    ScopedValue ownedDir_{HKEY_CURRENT_USER, ProductKey, "OwnedDir"};
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

// The temporary copy itself, and a copy elsewhere told it is the second stage, ask at once.
TEST_F(Uninstall, SecondStageAsksAtOnceAndStartsNoOtherCopy)
{
    std::string marked = FreshFolder("marker") + "\\uninstal.exe";
    ASSERT_TRUE(CopyFileA(BuildPath("uninstal.exe").c_str(), marked.c_str(), FALSE));
    for (bool tempCopy : {true, false}) {
        SCOPED_TRACE(tempCopy ? "temporary copy" : "marked copy");
        RemoveFile(TempCopy());
        Process second = tempCopy ? StartTempCopy() : Process(marked, Marker);
        HWND question = WaitForDialog(second.Id(), Caption);
        ASSERT_NE(question, (HWND)NULL);
        EXPECT_EQ(MessageBoxText(question), Question);
        EXPECT_TRUE(RegisteredForDeletion(tempCopy ? TempCopy() : marked)) << "the running copy registers itself";
        EXPECT_EQ(FileExists(TempCopy()), tempCopy);
        EXPECT_FALSE(WaitUntil([&] { return !BoxesElsewhere(second.Id()).empty(); }, 1500)) << "it started another copy";
        Click(question, IDCANCEL);
        EXPECT_EQ(second.Wait(), std::optional<DWORD>(0));
    }
}

// "/relaunched" typed in the installation: that copy cannot remove the folder it runs from.
TEST_F(Uninstall, MarkedCopyInsideTheInstallationHandsOverToTheTempCopy)
{
    std::string dir = FreshFolder("marked-inside") + "\\AmbitKnob";
    Install(dir);
    HWND question = RunFirstStage(dir + "\\uninstal.exe", Marker);
    ASSERT_NE(question, (HWND)NULL);
    Outcome outcome = ConfirmAndFinish(question, second_);
    ExpectSuccess(outcome);
    EXPECT_FALSE(FolderExists(dir));
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
    EXPECT_EQ(MessageBoxText(box), "The uninstall of Ambit Knob cannot start. Nothing was removed.");
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

// The installation's own folder goes whole

TEST_F(Uninstall, OwnFolderGoesWholeWithWhatTheProductWroteAfterClosingIt)
{
    std::string dir = FreshFolder("own") + "\\AmbitKnob";
    Install(dir);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "OwnedDir"), std::optional<std::string>(dir));
    // What the product writes over time: settings, a read-only file, a name outside the ANSI code
    // page, a file whose path takes 257 characters, and a tree deeper than 259.
    WriteFileBytes(dir + "\\settings.ini", "made by the product");
    SetFileAttributesA((dir + "\\settings.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    MakeFileW(Wide(dir) + L"\\\x0444\x4e2d\x00e9.txt");
    WriteFileBytes(dir + "\\" + std::string(256 - dir.size(), 'n'), "x");
    std::wstring deep = L"\\\\?\\" + Wide(dir);
    for (int level = 0; level < 5; level++) {
        deep += L"\\" + std::wstring(50, L'a' + level);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL));
    }
    MakeFileW(deep + L"\\deep.txt");
    // A reinstall into the folder it made, with the product's files in it, keeps it its own.
    Install(dir);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "OwnedDir"), std::optional<std::string>(dir));

    std::string report = FreshFolder("own-report") + "\\report.txt";
    Process product(BuildPath("tests\\probe_product.exe"), "watch \"" + dir + "\" \"" + report + "\"");
    ASSERT_NE(WaitForTopWindow(product.Id(), "SimpleClass", NULL), (HWND)NULL);
    ExpectSuccess(UninstalledFrom(dir));

    EXPECT_EQ(ReadFileBytes(report), "present") << "the product's window was not closed before the directory went";
    EXPECT_TRUE(product.Wait(5000).has_value()) << "the product still runs";
    EXPECT_FALSE(ExistsW(L"\\\\?\\" + Wide(dir))) << "left: " << testing::PrintToString(FolderEntries(dir));
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
    ExpectSuccess(ConfirmAndFinish(question, second));
    EXPECT_FALSE(FolderExists(dir));
    EXPECT_FALSE(FolderExists(GroupFolder()));
}

// Whatever setup accepted, the uninstaller removes: the longest destinations, in a Programs folder
// whose shortcuts' paths come near the limit too.
TEST_F(Uninstall, RemovesTheLongestInstallationsSetupAccepts)
{
    std::string programs = FreshFolder("p" + std::string(224, 'p'));
    ASSERT_EQ(programs.size(), 228u);
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
    for (size_t length : {242u, 245u}) {
        std::string dir = FreshFolder("long" + std::to_string(length));
        dir += "\\" + std::string(length - dir.size() - 1, 'k');
        SCOPED_TRACE(dir);
        Install(dir);
        ExpectSuccess(UninstalledFrom(dir));
        EXPECT_FALSE(FolderExists(dir));
        EXPECT_FALSE(FolderExists(GroupFolder()));
    }
}

// One folder under a second drive letter, or through a folder link, is still the one to remove.
TEST_F(Uninstall, RemovesAnInstallationReachedThroughASecondNameForItsFolder)
{
    std::string substituted = FreshFolder("subst-target");
    ScopedDrive drive('S', substituted);
    ASSERT_TRUE(FolderExists(drive.Root()));
    std::string target = FreshFolder("link-target");
    WriteFileBytes(target + "\\keep.txt", "beside the installation");
    std::string link = "D:\\via-link";
    RemoveDirectoryA(link.c_str());
    DeleteFileA(link.c_str());
    ASSERT_TRUE(MakeSymbolicLink(link, target, true));

    for (std::string dir : {drive.Root() + "AmbitKnob", link + "\\AmbitKnob"}) {
        SCOPED_TRACE(dir);
        Install(dir);
        ExpectSuccess(UninstalledFrom(dir));
        EXPECT_FALSE(FolderExists(dir));
    }
    EXPECT_TRUE(FolderExists(substituted));
    EXPECT_TRUE(FileExists(link + "\\keep.txt"));
    EXPECT_TRUE(FileExists(target + "\\keep.txt"));
}

TEST_F(Uninstall, WithTwoProductsRunningClosesOne)
{
    std::string dir = FreshFolder("two") + "\\AmbitKnob";
    Install(dir);
    Process one(BuildPath("ak.exe")), two(BuildPath("ak.exe"));
    ASSERT_NE(WaitForTopWindow(one.Id(), "SimpleClass", NULL), (HWND)NULL);
    ASSERT_NE(WaitForTopWindow(two.Id(), "SimpleClass", NULL), (HWND)NULL);

    ExpectSuccess(Uninstalled());
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

    Outcome outcome = Uninstalled();
    ExpectSuccess(outcome);
    EXPECT_LT(outcome.milliseconds, 12000u);
    EXPECT_FALSE(FolderExists(dir));
    EXPECT_FALSE(product.Wait(0).has_value()) << "the hung product was expected to be still hanging";
}

// A folder the installer did not make loses only the carried files

TEST_F(Uninstall, FolderThatHeldOtherFilesBeforeTheInstallKeepsThem)
{
    std::string tools = FreshFolder("Tools");
    WriteFileBytes(tools + "\\other-tool.exe", "someone else's program");
    MakeFolders(tools + "\\data");
    WriteFileBytes(tools + "\\data\\records.db", "someone else's data");
    Install(tools);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ProductKey, "OwnedDir"), std::optional<std::string>(""));

    ExpectKept(UninstalledFrom(tools), tools, HoldsOthers);
    for (const char* name : CarriedNames)
        EXPECT_FALSE(FileExists(tools + "\\" + name)) << name;
    EXPECT_TRUE(FileExists(tools + "\\other-tool.exe"));
    EXPECT_TRUE(FileExists(tools + "\\data\\records.db"));
    EXPECT_FALSE(FolderExists(GroupFolder())) << "the group is the installation's own";
}

// An "InstallDir" that no install recorded as made by it, as a hand-written one.
TEST_F(Uninstall, FolderNotRecordedAsMadeLosesTheCarriedFilesAndGoesOnlyWhenEmpty)
{
    for (bool withOwnFile : {true, false}) {
        std::string dir = FreshFolder(withOwnFile ? "hand-written" : "hand-written-bare");
        for (const char* name : CarriedNames)
            WriteFileBytes(dir + "\\" + name, CarriedFile(name));
        if (withOwnFile)
            WriteFileBytes(dir + "\\mine.txt", "the user's");
        WriteString(HKEY_CURRENT_USER, ProductKey, "InstallDir", dir);
        DeleteValue(HKEY_CURRENT_USER, ProductKey, "OwnedDir");

        Outcome outcome = Uninstalled();
        if (withOwnFile) {
            ExpectKept(outcome, dir, HoldsOthers);
            EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"mine.txt"});
        } else {
            ExpectSuccess(outcome);
            EXPECT_FALSE(FolderExists(dir));
        }
    }
}

TEST_F(Uninstall, EmptyOrVanishedInstallDirIsNothingToRemoveAndTheGroupStillGoes)
{
    PlantedFile inCwd(cwd_ + "\\ak.exe");
    for (std::string recorded : {std::string(), FreshFolder("vanished") + "\\AmbitKnob"}) {
        SCOPED_TRACE("InstallDir \"" + recorded + "\"");
        Record(recorded, true);
        MakeFolders(GroupFolder());
        WriteFileBytes(GroupFolder() + "\\ak.exe.lnk", "link");

        ExpectSuccess(Uninstalled());
        EXPECT_FALSE(FolderExists(GroupFolder()));
        EXPECT_TRUE(FileExists(inCwd.Path()));
    }
}

TEST_F(Uninstall, SuccessTextTooLongForItsBufferLeavesOutThePath)
{
    // Fits as the copy's path (244 characters), not inside the success text.
    std::string longTemp = FreshFolder(std::string(227, 'u'));
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

std::string KnownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = NULL;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, NULL, &path)))
        result = std::string(path, path + wcslen(path));
    CoTaskMemFree(path);
    return result;
}

std::string Variable(const char* name)
{
    char value[MAX_PATH] = "";
    GetEnvironmentVariableA(name, value, MAX_PATH);
    return value;
}

// Each recorded folder is refused even when recorded as the installation's own, and sentinels (each
// beside an "ak.exe", so that only the rule under test can save them) survive wherever a wrong
// reading of the record would delete.
TEST_F(Uninstall, RefusesEveryFolderThatIsNoInstallationEvenWhenRecordedAsMade)
{
    std::string temp = TempFolder();
    std::string profile = ShellFolder(CSIDL_PROFILE);
    ASSERT_FALSE(profile.empty());
    std::string users = profile.substr(0, profile.find_last_of('\\'));
    std::string device = FreshFolder("guard-device");
    std::string hostDevice = HostPath(device);
    for (char& c : hostDevice)
        c = c == '/' ? '\\' : c;
    std::string foreign = FreshFolder("guard-foreign");
    WriteFileBytes(foreign + "\\notes.txt", "mine, and no product beside it");
    struct Case {
        std::string recorded;
        std::vector<std::string> sentinels;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"C:\\", {"C:"}, RefusedSystem},
        {"D:\\guard-up\\..\\..", {"D:"}, RefusedSystem},
        {profile + "\\", {profile}, RefusedSystem},
        {users, {users}, RefusedSystem},
        {ShellFolder(CSIDL_WINDOWS), {ShellFolder(CSIDL_WINDOWS)}, RefusedSystem},
        {temp, {temp.substr(0, temp.size() - 1)}, RefusedSystem},
        {Variable("ProgramW6432"), {Variable("ProgramW6432")}, RefusedSystem},
        {ShellFolder(CSIDL_MYPICTURES), {ShellFolder(CSIDL_MYPICTURES)}, RefusedSystem},
        {ShellFolder(CSIDL_MYMUSIC), {ShellFolder(CSIDL_MYMUSIC)}, RefusedSystem},
        {ShellFolder(CSIDL_MYVIDEO), {ShellFolder(CSIDL_MYVIDEO)}, RefusedSystem},
        {ShellFolder(CSIDL_FAVORITES), {ShellFolder(CSIDL_FAVORITES)}, RefusedSystem},
        {KnownFolder(FOLDERID_Downloads), {KnownFolder(FOLDERID_Downloads)}, RefusedSystem},
        {ShellFolder(CSIDL_COMMON_MUSIC), {ShellFolder(CSIDL_COMMON_MUSIC)}, RefusedSystem},
        {"AmbitKnob", {cwd_ + "\\AmbitKnob", temp + "AmbitKnob"}, RefusedForeign},
        {"D:AmbitKnob", {cwd_ + "\\AmbitKnob", "D:\\AmbitKnob", temp + "AmbitKnob"}, RefusedForeign},
        {"\\AmbitKnob", {"D:\\AmbitKnob", "C:\\AmbitKnob", cwd_ + "\\AmbitKnob"}, RefusedForeign},
        {"\\\\?\\" + device, {device}, RefusedForeign},
        {"\\\\.\\" + device, {device}, RefusedForeign},
        {"\\\\?\\unix" + hostDevice, {device}, RefusedForeign},
        {foreign, {}, RefusedForeign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("InstallDir " + c.recorded);
        ASSERT_FALSE(c.recorded.empty());
        std::vector<std::unique_ptr<PlantedFile>> sentinels;
        for (const std::string& folder : c.sentinels) {
            sentinels.push_back(std::make_unique<PlantedFile>(folder + "\\ak.exe"));
            sentinels.push_back(std::make_unique<PlantedFile>(folder + "\\keep.txt"));
        }
        Record(c.recorded, true);
        ExpectKept(Uninstalled(), c.recorded, c.reason);
        for (const auto& sentinel : sentinels)
            EXPECT_TRUE(FileExists(sentinel->Path())) << sentinel->Path();
        // The last planted goes first, so that the folders they needed are empty in the end.
        while (!sentinels.empty())
            sentinels.pop_back();
    }
    EXPECT_TRUE(FileExists(foreign + "\\notes.txt"));
}

// The 64-bit program-files folder typed as the destination: a 32-bit program is not shown it.
TEST_F(Uninstall, ProgramFilesTypedAsTheDestinationIsRefusedWhole)
{
    std::string programFiles = Variable("ProgramW6432");
    ASSERT_FALSE(programFiles.empty());
    PlantedFile mine(programFiles + "\\user-file.txt");
    Install(programFiles);
    ExpectKept(UninstalledFrom(programFiles), programFiles, RefusedSystem);
    EXPECT_TRUE(FileExists(mine.Path()));
    EXPECT_TRUE(FolderExists(programFiles + "\\Common Files"));
    for (const char* name : CarriedNames) {
        EXPECT_TRUE(FileExists(programFiles + "\\" + name)) << "a refused folder is left untouched: " << name;
        RemoveFile(programFiles + "\\" + name);
    }
}

// A link inside the installation is removed as a link, or, where the system cannot do that (Wine
// resolves every link before deleting), the whole folder stays untouched.
TEST_F(Uninstall, NeverFollowsALinkInsideTheInstallation)
{
    std::string dir = FreshFolder("guard-link") + "\\AmbitKnob";
    Install(dir);
    std::string elsewhere = FreshFolder("guard-link-target");
    WriteFileBytes(elsewhere + "\\keep.txt", "outside the installation");
    ASSERT_TRUE(MakeSymbolicLink(dir + "\\linked-folder", elsewhere, true));
    ASSERT_TRUE(MakeSymbolicLink(dir + "\\linked-file.txt", elsewhere + "\\keep.txt", false));

    Outcome outcome = UninstalledFrom(dir);
    EXPECT_TRUE(FileExists(elsewhere + "\\keep.txt"));
    EXPECT_FALSE(FolderExists(GroupFolder())) << "the group is removed on its own";
    if (!HostPath(dir).empty()) {
        ExpectKept(outcome, dir, NotRemoved);
        for (const char* name : CarriedNames)
            EXPECT_TRUE(FileExists(dir + "\\" + name)) << "a folder that stays is left untouched: " << name;
        EXPECT_TRUE(FileExists(dir + "\\linked-file.txt"));
        EXPECT_TRUE(FileExists(dir + "\\linked-folder\\keep.txt"));
    } else {
        ExpectSuccess(outcome);
    }
}

TEST_F(Uninstall, SkipsTheGroupForAnEmptyOrRelativeProgramsFolder)
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

        ExpectSuccess(Uninstalled());
        for (const auto& sentinel : sentinels)
            EXPECT_TRUE(FileExists(sentinel->Path())) << sentinel->Path();
    }
}

TEST_F(Uninstall, NamesAGroupFolderTooLongForItsBuffer)
{
    DeleteValue(HKEY_CURRENT_USER, ProductKey, "InstallDir");
    // 254 characters with the separator; "Ambit Knob" does not fit behind them. Blanks let the
    // box wrap the name.
    std::string programs = "D:\\";
    while (programs.size() < 253)
        programs += "Programs ";
    programs.resize(253);
    WriteString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
    ExpectKept(Uninstalled(), programs + "\\Ambit Knob", NotRemoved);
}

}  // namespace
