// Random sequences of what users do, against the real setup.exe and uninstal.exe: installs into
// every kind of destination, uninstalls answered Yes or Cancel, the user's own changes to files,
// folders and the record, setup and the uninstaller while the program runs or a file is held open.
// After every step each file and folder of the user's is there byte for byte unless the user's own
// step removed it, no success box stands beside a file of the package left behind or one that is
// not the package's, and every process has ended.
//
// What it runs is told by AK_SEQUENCES:
//   --from=1 --count=90      seeds 1 to 90, as the suite runs them when it is not set or empty
//   --seed=7 [--steps=0,3,4] one seed alone, or some of its steps
//   --from=1 --minutes=600   seeds for as long as given; each distinct failure once, with the fewest
//                            steps that still show it
#include "driver.h"

#include <tlhelp32.h>

#include <array>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

const wchar_t* const FolderNames[] = {
    L"Docs", L"Games", L"Tools", L"AmbitKnob", L"Ambit Knob", L"Music", L"\u0141\u00f3d\u017a", L"\u4e2d\u6587"};
const wchar_t* const FileNames[] = {L"notes.txt",     L"ReadMe.TXT",   L"AK.EXE",
                                    L"License.Txt",   L"UNINSTAL.EXE", L"file_id.diz",
                                    L"Cindertop.URL", L"ak.ini",       L"\x0444\x0430\x0439\x043b.doc",
                                    L"readme.txt"};

struct Settings {
    unsigned first = 1, count = 90, minutes = 0;
    std::optional<std::set<unsigned>> steps; // only these steps of the seed
} g_settings;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text)
{
    std::string out(text.size() * 3 + 1, '\0');
    return out.substr(
        0, WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), out.data(), (int)out.size(), NULL, NULL));
}

// Whether path is folder or inside it, as the system compares names.
bool Under(const std::wstring& path, const std::wstring& folder)
{
    size_t n = folder.size();
    return !_wcsnicmp(path.c_str(), folder.c_str(), n) &&
           (path.size() == n || folder.back() == L'\\' || path[n] == L'\\');
}

// What a path leads to, whatever its spelling: its volume and number; empty when it is not there.
std::string IdOf(const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE file = CreateFileW(path.c_str(), 0, 7, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return known ? std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexLow) : "";
}

std::wstring Parent(const std::wstring& path) { return path.substr(0, std::max<size_t>(path.find_last_of(L'\\'), 3)); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
}
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }
DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()); }
bool IsFolder(const std::wstring& path)
{
    return Attributes(path) != INVALID_FILE_ATTRIBUTES && (Attributes(path) & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> Read(const std::wstring& path)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    bool done = file != INVALID_HANDLE_VALUE && !IsFolder(path) &&
                (bytes.empty() || ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL));
    CloseHandle(file);
    return done ? std::optional(bytes.substr(0, read)) : std::nullopt;
}

bool Write(const std::wstring& path, const std::string& bytes, DWORD how = CREATE_NEW)
{
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, NULL, how, 0, NULL);
    DWORD written = 0;
    bool done = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) && SetEndOfFile(file);
    CloseHandle(file);
    return done && written == bytes.size();
}

// Whether the file at path holds the package's own bytes for its name, and is no link to another.
bool IsPackages(const std::wstring& path)
{
    HANDLE file = CreateFileW(Long(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    WCHAR reached[2048] = L"";
    GetFinalPathNameByHandleW(file, reached, 2048, 0);
    CloseHandle(file);
    for (const char* carried : CarriedNames)
        if (!lstrcmpiW(NameOf(path).c_str(), Wide(carried).c_str()))
            return !lstrcmpiW(NameOf(reached).c_str(), Wide(carried).c_str()) && Read(path) == CarriedFile(carried);
    return false;
}

// A folder as the drive D: spells it, whatever the letter and case it was given in.
std::wstring Spelled(std::wstring folder)
{
    CharLowerW(folder.data());
    return folder.rfind(L"s:", 0) == 0 ? L"d:" + folder.substr(2) : folder;
}

// Where a shortcut leads, as the shell reads it; empty for a file that is none.
std::wstring ShortcutTarget(const std::wstring& path)
{
    WCHAR target[MAX_PATH] = L"";
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    CoInitialize(NULL);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&link))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) &&
            SUCCEEDED(file->Load(path.c_str(), STGM_READ)))
            link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH);
        if (file)
            file->Release();
        link->Release();
    }
    return target;
}

std::wstring Programs() { return Wide(ReadString(HKEY_CURRENT_USER, ShellFoldersKey, "Programs").value_or("")); }

// The programs of the package still running, as the system lists them; ended with `end`.
std::string StillRunning(bool end)
{
    std::string names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (bool more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        for (const char* name : {"setup.exe", "uninstal.exe", "uninstall.exe", "ak.exe"})
            if (!lstrcmpiA(entry.szExeFile, name)) {
                names += std::string(names.empty() ? "" : ", ") + name;
                HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
                if (end && TerminateProcess(process, 99))
                    WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
    CloseHandle(snapshot);
    return names;
}

bool Link(const std::wstring& link, const std::wstring& target)
{
    Host("/bin/ln -s \"" + HostPath(target) + "\" \"" + HostPath(Parent(link)) + "/" + Utf8(NameOf(link)) + "\"");
    return WaitUntil([&] { return Attributes(link) != INVALID_FILE_ATTRIBUTES; }, 5000);
}

// One step as drawn from the seed: the numbers it decides by once it runs, its kind the last, so
// that a step means the same whichever steps ran before it.
using Step = std::array<unsigned, 7>;

class Sequence {
public:
    Sequence(unsigned seed, const std::optional<std::set<unsigned>>& only) : seed_(seed), random_(seed)
    {
        for (unsigned i = 0, count = 3 + random_() % 8; i < count; i++) {
            Step step;
            std::generate(step.begin(), step.end(), std::ref(random_));
            if (!only || only->count(i))
                steps_[i] = step, indices_.push_back(i);
        }
    }

    // The first failure, or nothing; the log tells each step taken, what it came to and how long it
    // took.
    std::optional<std::string> Run()
    {
        CleanSlate();
        LayDownTree();
        for (auto& [index, step] : steps_) {
            DWORD start = GetTickCount();
            log_ += "  step " + std::to_string(index) + ": ";
            Take(step);
            if (GetTickCount() - start > 60000)
                Fail("the step took over a minute");
            if (!WaitUntil([] { return StillRunning(false).empty(); }, 5000))
                Fail("a program still runs after the step: " + StillRunning(true));
            CheckTheUsers();
            CheckTheRecords();
            log_ += " [" + std::to_string(GetTickCount() - start) + " ms]\n";
            if (failure_)
                break;
        }
        return failure_;
    }
    std::vector<unsigned> indices_;
    std::string log_;

private:
    // What went wrong, told whole in the log; it is known again by its kind and the step's.
    void Fail(const std::string& what)
    {
        log_ += "\n    FAILED: " + what;
        failure_ = failure_.value_or(what.substr(0, what.find(": ")) + " (" + kind_ + ")");
    }

    // A clean drive D: with a second letter S: onto it, as SUBST makes one; no record, no group, no
    // temporary copy, no program of the package's running.
    void CleanSlate()
    {
        StillRunning(true);
        // By the host: Wine's delete follows a link, a link to nothing it does not even list, and
        // a name outside the code page it lists as another.
        Host("/usr/bin/find \"" + HostPath(L"D:\\") + "\" -mindepth 1 -delete");
        WaitUntil([] { return FolderEntries("D:\\").empty(); });
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cindertop");
        for (std::string entry : {"", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"})
            RegDeleteTreeA(HKEY_CURRENT_USER,
                           ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob" + entry).c_str());
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                           "PendingFileRenameOperations");
        DeleteFileA(TempCopy().c_str());
        for (const std::string& folder : CopyFolders())
            RemoveTree(Wide(folder));
        RemoveTree(Programs() + L"\\Ambit Knob");
        if (!FolderExists("S:\\"))
            Host("/bin/ln -s \"" + HostPath(L"D:\\") + "\" \"" + HostPath(Wide(BuildPath("wine\\prefix\\dosdevices"))) +
                 "/s:\"");
        if (!WaitUntil([] { return FolderExists("S:\\"); }, 5000) || !FolderEntries("D:\\").empty())
            Fail("drive D: not emptied, or no drive S:");
        world_.folders = {Programs(), Parent(Wide(TempCopy()))};
    }

    // A new file of the user's with its bytes, or without bytes a new folder.
    void Add(const std::wstring& path, const std::optional<std::string>& bytes = std::nullopt)
    {
        if (Attributes(path) == INVALID_FILE_ATTRIBUTES &&
            (bytes ? Write(path, *bytes) : CreateDirectoryW(Long(path).c_str(), NULL)))
            bytes ? (void)(world_.files[path] = *bytes) : (void)world_.folders.insert(path);
    }

    // The user's tree: folders, empty ones among them, names like the carried files' in other cases
    // and with other bytes, at times a user's own copy of a carried file, a read-only file, names
    // outside the code page, a path past 259 characters, at times a shortcut of the user's in the group.
    void LayDownTree()
    {
        auto randomBytes = [&] {
            std::string bytes(random_() % 300, '\0');
            std::generate(bytes.begin(), bytes.end(), [&] { return (char)random_(); });
            return bytes;
        };
        for (unsigned i = 0, count = 3 + random_() % 6; i < count; i++) {
            std::vector<std::wstring> parents = Folders(false);
            Add(Join(parents[random_() % parents.size()],
                     FolderNames[random_() % 8] + (random_() % 2 ? L"" : std::to_wstring(i))));
        }
        std::vector<std::wstring> folders = Folders(false);
        std::wstring deep = folders[random_() % folders.size()];
        for (int level = 0; level < 5; level++)
            Add(deep = Join(deep, std::wstring(50, L'a' + level)));
        Add(deep + L"\\deep.txt", randomBytes());
        for (unsigned i = 0, count = 5 + random_() % 8; i < count; i++)
            Add(Join(folders[random_() % folders.size()], FileNames[random_() % 10]), randomBytes());
        std::wstring copy = Join(folders[random_() % folders.size()], Wide(CarriedNames[random_() % 6]));
        if (random_() % 3 == 0)
            Add(copy, CarriedFile(Utf8(NameOf(copy))));
        auto readOnly = std::next(world_.files.begin(), random_() % world_.files.size());
        SetFileAttributesW(Long(readOnly->first).c_str(), FILE_ATTRIBUTE_READONLY);
        // The group's folder, though, is the package's to remove once it is empty.
        // At times with shortcuts of the user's under the names setup gives its own.
        if (random_() % 4 == 0 && CreateDirectoryW((Programs() + L"\\Ambit Knob").c_str(), NULL))
            Add(Programs() + (random_() % 2 ? L"\\Ambit Knob\\mine.lnk" : L"\\Ambit Knob\\ak.exe.lnk"),
                "the user's own shortcut");
        log_ += "  tree: " + std::to_string(world_.files.size()) + " files, the read-only one " +
                Utf8(readOnly->first) + "\n";
    }

    // The package's files (or those of one name) that are the package's still, in the installations.
    std::vector<std::wstring> Carried(const std::string& only = "")
    {
        std::vector<std::wstring> found;
        for (const std::wstring& folder : world_.installs)
            for (const char* name : CarriedNames)
                if ((only.empty() || only == name) && IsPackages(Join(folder, Wide(name))))
                    found.push_back(Join(folder, Wide(name)));
        return found;
    }

    // The folders on D: there now, and D:\ itself: the user's, and with `installs` setup's; for a
    // destination only those it takes (a name setup reads in the code page, short enough).
    std::vector<std::wstring> Folders(bool installs, bool destination = false)
    {
        std::vector<std::wstring> found = {L"D:\\"}, all(world_.folders.begin(), world_.folders.end());
        if (installs)
            all.insert(all.end(), world_.installs.begin(), world_.installs.end());
        for (const std::wstring& folder : all)
            if (IsFolder(folder) && Under(folder, L"D:\\") && std::count(found.begin(), found.end(), folder) == 0 &&
                (!destination ||
                 (folder.size() < 200 && std::all_of(folder.begin(), folder.end(), [](wchar_t c) { return c < 128; }))))
                found.push_back(folder);
        return found;
    }

    void Take(const Step& step)
    {
        const unsigned *r = step.data(), kind = step[6] % 20;
        if (kind < 6)
            kind_ = "install", Install(r);
        else if (kind < 11)
            kind_ = "uninstall", Uninstall(r);
        else if (kind < 16)
            kind_ = "the user's change", Change(r);
        else if (kind < 18)
            kind_ = "the record changed", ChangeRecord(r);
        else {
            // The program started from an installation, or a carried file held open by another
            // program; setup or the uninstaller meanwhile.
            kind_ = "while the program runs";
            std::vector<std::wstring> programs = Carried("ak.exe");
            std::wstring program = programs.empty() ? Wide(BuildPath("ak.exe")) : programs[r[5] % programs.size()];
            bool hold = r[4] % 2 && !programs.empty();
            log_ += Utf8(program) + (hold ? " is held open; " : " runs; ");
            HANDLE held =
                hold ? CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL) : NULL;
            std::optional<Process> product;
            if (!hold && !WaitForWindow(product.emplace(Utf8(program)).Id(), "SimpleClass", NULL))
                Fail("the program showed no window: " + Utf8(program));
            removed_.clear();
            std::string running = IdOf(Parent(program));
            bool closing = kind == 18 ? (Install(r), false) : Uninstall(r);
            // Only Ambit Knob running from the installation removed is closed; the build's own is not.
            if (product && closing && !programs.empty() && running == removed_ && !product->Wait(2000))
                Fail("the uninstall did not close the running program");
            CloseHandle(held);
        }
    }

    // Setup through its dialog into a destination: new, empty, shared with the user's files, the
    // parent or a child of an earlier one, the same again, or that spelled otherwise; with or without
    // the group.
    void Install(const unsigned* r)
    {
        std::vector<std::wstring> folders = Folders(false, true), empty, earlier = world_.installs;
        for (const std::wstring& folder : folders)
            if (FolderEntries(Utf8(folder)).empty())
                empty.push_back(folder);
        std::wstring where = folders[r[1] % folders.size()];
        unsigned how = r[0] % 8;
        if (how == 0 || (how == 1 && empty.empty()) || (how >= 3 && earlier.empty()))
            where = Join(where, L"New" + std::to_wstring(r[2] % 100) + (r[3] % 2 ? L"\\AmbitKnob" : L""));
        else if (how == 1)
            where = empty[r[1] % empty.size()];
        else if (how >= 3)
            where = earlier[r[1] % earlier.size()];
        where = how == 3 ? Parent(where) : how == 4 ? where + L"\\Sub" : where;
        // At times a new folder so deep that the first three files fit and the fourth does not: the
        // attempt fails at a write, and takes back all it wrote.
        bool deep = how == 0 && (r[2] / 100) % 4 == 0;
        while (deep && where.size() < 246)
            where += where.size() < 244 ? L"\\" + std::wstring(std::min<size_t>(245 - where.size(), 20), L'd') : L"d";
        std::wstring typed = where,
                     link = L"D:\\link" + std::to_wstring(seed_) + L"-" + std::to_wstring(world_.links.size());
        unsigned spelling = how >= 5 ? r[2] % 5 : 5;
        if (spelling == 0)
            CharUpperBuffW(typed.data(), (DWORD)typed.size());
        else if (spelling == 1)
            typed += L"\\";
        else if (spelling == 2)
            std::replace(typed.begin() + 3, typed.end(), L'\\', L'/');
        else if (spelling == 3)
            typed[0] = L'S';
        else if (spelling == 4 && IsFolder(where) && Link(link, where))
            world_.links[typed = link] = {where, HostPath(where)};
        bool group = r[4] % 3 != 0;
        log_ += "install into \"" + Utf8(typed) + "\"" + (group ? " with the group" : "");
        std::string success = SuccessIn(IsFolder(where));
        Installer setup;
        if (!setup.dialog)
            return Fail("setup's dialog did not appear");
        setup.Options(false, group, false);
        SetDlgItemTextW(setup.dialog, IDC_DESTINATION, typed.c_str());
        r[5] % 2 ? Click(setup.dialog, IDOK) : PressKey(setup.dialog, VK_RETURN);
        HWND box = WaitForBox(setup.process.Id(), "Information");
        std::string said = box ? MessageBoxText(box) : "(no box after \"Go!\")";
        log_ += ": " + said.substr(0, said.find('\n'));
        setup.Dismiss(box);
        if (said == success) {
            if (setup.process.Wait() != 1u)
                Fail("setup did not end with 1 after its success");
            for (const char* name : CarriedNames)
                if (!IsPackages(Join(where, Wide(name))))
                    Fail("setup told of success, but a file there is not the package's: " +
                         Utf8(Join(where, Wide(name))));
            world_.installs.push_back(where);
            installDirChanged_ = false;
            return;
        }
        if (deep && said.rfind("Setup cannot install", 0) != 0) {
            if (said != FailureText || IsFolder(where))
                Fail("an attempt that failed at a write left its folder, or did not fail: " + said);
            Click(setup.dialog, IDCANCEL);
            setup.process.Wait();
            return;
        }
        // Refused: a name outside the code page, or it names a folder, a file another program holds,
        // or a file that is not the package's.
        BOOL lossy = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, where.c_str(), -1, NULL, 0, NULL, &lossy);
        bool held = said.rfind("Another program holds", 0) == 0;
        size_t named = said.find(":\n") + 2;
        std::wstring file = named < 2 ? L"" : Wide(said.substr(named, said.find('\n', named) - named));
        if (lossy ? said.find("code page") == std::string::npos
                  : file.empty() || (!held && !IsFolder(file) && IsPackages(file)))
            Fail("setup neither installed nor refused for something in the way: " + said);
        Click(setup.dialog, IDCANCEL);
        if (setup.process.Wait() != 0u)
            Fail("setup did not end with 0 after Cancel");
    }

    // The installed uninstaller of an earlier installation, or the temporary copy as the user finds
    // it there; answered Yes or Cancel. Whether it was answered Yes.
    bool Uninstall(const unsigned* r)
    {
        std::vector<std::wstring> installed = Carried("uninstal.exe");
        bool byCopy = installed.empty() || r[0] % 4 == 0, yes = r[1] % 5 != 0;
        if (byCopy && Read(Wide(TempCopy())).value_or(CarriedFile("uninstal.exe")) != CarriedFile("uninstal.exe"))
            return log_ += "no uninstall: someone's file is at " + TempCopy(), false;
        std::wstring folder = byCopy ? Wide(ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir").value_or(""))
                                     : Parent(installed[r[2] % installed.size()]);
        log_ += "uninstall " + (byCopy ? "by the temporary copy, recorded \"" + Utf8(folder) + "\"" : Utf8(folder)) +
                (yes ? ", Yes" : ", Cancel");
        std::optional<Process> second;
        HWND question = NULL;
        if (byCopy) {
            CopyFileA(BuildPath("uninstal.exe").c_str(), TempCopy().c_str(), TRUE);
            question = WaitForBox(second.emplace(TempCopy()).Id(), Caption);
        } else {
            // The first stage ends at once, having started the second, or says why it cannot.
            Process first(Utf8(folder + L"\\uninstal.exe"), "", Utf8(folder));
            HWND own = NULL;
            WaitUntil([&] { return first.Wait(0) || (own = WaitForWindow(first.Id(), "#32770", Caption, 0)) != NULL; });
            if (own) {
                log_ += ": " + MessageBoxText(own);
                Click(own, IDOK);
                if (!first.Wait())
                    Fail("the uninstaller still runs after its box");
                return false;
            }
            if ((question = BoxBesides(first.Id())) != NULL)
                second.emplace(question);
        }
        if (!question)
            return Fail("the uninstaller asked nothing"), false;
        std::optional<DWORD> code;
        std::string id = IdOf(folder);
        std::string said = Answer(*second, question, yes, &code);
        if (code != 0u)
            Fail("the uninstaller did not end with 0 after its last box or Cancel");
        size_t from = said.find("from\n") + 5;
        if (from >= 5)
            folder = Wide(said.substr(from, said.find('\n', from) - from));
        std::replace(said.begin(), said.end(), '\n', ' ');
        log_ += ": " + (yes ? said : "cancelled");
        if (said.rfind("Success!", 0) == 0 || said.rfind("Ambit Knob was not removed", 0) == 0)
            removed_ = id;
        // Something of the package's own stays: so does a record, so that the uninstall can run again.
        HKEY records;
        DWORD count = 0;
        if (said.rfind("Ambit Knob was not removed", 0) == 0 &&
            (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnob\\Installations", 0, KEY_READ, &records) ||
             RegQueryInfoKeyA(records, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL) ||
             (RegCloseKey(records), count == 0)))
            Fail("\"not removed completely\", but no installation is recorded any more");
        if (said.rfind("Success!", 0) == 0 && !folder.empty())
            for (const std::string& link : FolderEntries(Utf8(Programs() + L"\\Ambit Knob")))
                if (Spelled(Parent(ShortcutTarget(Programs() + L"\\Ambit Knob\\" + Wide(link)))) == Spelled(folder))
                    Fail("\"Success!\" but a shortcut to the installation is left: " + link);
        if (said.rfind("Success!", 0) == 0 && !folder.empty())
            for (const char* name : CarriedNames)
                if (IsPackages(Join(folder, Wide(name))))
                    Fail("\"Success!\" but a file of the package is left: " + Utf8(Join(folder, Wide(name))));
        return yes;
    }

    // The user adds, edits, deletes, moves or makes again files and folders, in and beside an
    // installation, or links a file of theirs in place of one of the package's.
    void Change(const unsigned* r)
    {
        std::vector<std::wstring> folders = Folders(true), files, packages = Carried();
        for (auto& [path, bytes] : world_.files)
            if (!(Attributes(path) & FILE_ATTRIBUTE_READONLY))
                files.push_back(path);
        std::wstring folder = folders[r[1] % folders.size()];
        std::string bytes = "the user's " + std::to_string(r[3]);
        std::vector<std::wstring>& some = r[2] % 2 || packages.empty() ? files : packages;
        std::wstring file = some.empty() ? L"" : some[r[3] % some.size()];
        unsigned what = r[0] % 8;
        if (what == 0) {
            log_ += "the user adds " + Utf8(Join(folder, FileNames[r[2] % 10]));
            Add(Join(folder, FileNames[r[2] % 10]), bytes);
        } else if (what == 1) {
            log_ += "the user adds the folder " + Utf8(Join(folder, L"Mine"));
            Add(Join(folder, L"Mine"));
        } else if (what <= 3 && !file.empty()) {
            log_ += "the user edits " + Utf8(file);
            if (Write(file, bytes, TRUNCATE_EXISTING))
                world_.files[file] = bytes;
        } else if (what == 4 && !file.empty()) {
            log_ += "the user deletes " + Utf8(file);
            if (DeleteFileW(Long(file).c_str()))
                world_.files.erase(file);
        } else if ((what == 5 || what == 6) && folder != L"D:\\" &&
                   std::none_of(world_.links.begin(), world_.links.end(),
                                [&](auto& link) { return Under(link.first, folder); })) {
            // A whole folder, the user's or an installation's, moved to a new name beside it; or
            // deleted with all in it and made again, empty, as the disk spelled it (a link of Wine's
            // to it is spelled so). One holding a link is not: Wine deletes what a link points at.
            WIN32_FIND_DATAW entry;
            FindClose(FindFirstFileW(Long(folder).c_str(), &entry));
            std::wstring moved = what == 5 ? folder + L" moved" : L"";
            log_ += (what == 6 ? "the user deletes and makes again " : "the user moves ") + Utf8(folder);
            if (what == 6
                    ? (RemoveTree(folder), !CreateDirectoryW(Long(Join(Parent(folder), entry.cFileName)).c_str(), NULL))
                    : !MoveFileW(Long(folder).c_str(), Long(moved).c_str()))
                return (void)(log_ += " (the system refused)");
            Rename(folder, moved);
            world_.folders.insert(what == 6 ? folder : moved);
        } else if (what == 7 && !packages.empty()) {
            // The user keeps a file of the package elsewhere as their own, and links it in.
            std::wstring link = packages[r[2] % packages.size()], kept = L"D:\\kept " + NameOf(link);
            log_ += "the user keeps " + Utf8(link) + " as " + Utf8(kept) + " and links it in";
            if (MoveFileW(Long(link).c_str(), Long(kept).c_str()) && Link(link, kept))
                world_.files[kept] = *Read(kept), world_.links[link] = {kept, HostPath(kept)};
        } else {
            log_ += "the user does nothing";
        }
    }

    // What was under `from` is under `to` now, or gone when `to` is empty.
    void Rename(const std::wstring& from, const std::wstring& to)
    {
        std::map<std::wstring, std::string> files;
        for (auto& [path, bytes] : world_.files)
            if (!Under(path, from) || !to.empty())
                files[Under(path, from) ? to + path.substr(from.size()) : path] = bytes;
        std::set<std::wstring> folders;
        for (const std::wstring& path : world_.folders)
            if (!Under(path, from) || !to.empty())
                folders.insert(Under(path, from) ? to + path.substr(from.size()) : path);
        for (std::wstring& path : world_.installs)
            path = Under(path, from) && !to.empty() ? to + path.substr(from.size()) : path;
        world_.files.swap(files), world_.folders.swap(folders);
    }

    // The record removed, pointed at another folder, or forged to name a temporary copy: a file of
    // the user's, or the user's own file at the copy's path.
    void ChangeRecord(const unsigned* r)
    {
        std::vector<std::wstring> folders = Folders(true);
        std::wstring folder = folders[r[1] % folders.size()], copy = Wide(TempCopy());
        std::wstring file =
            world_.files.empty() ? copy : std::next(world_.files.begin(), r[3] % world_.files.size())->first;
        if (r[0] % 4 == 3) {
            // An installation's record copied under the name of a folder of the user's, as any
            // program of theirs could, and the record pointed there.
            std::vector<std::string> names;
            HKEY key;
            BYTE record[256];
            char name[MAX_PATH];
            DWORD size = MAX_PATH, cb = sizeof record, type = 0;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnob\\Installations", 0, KEY_READ, &key) ==
                ERROR_SUCCESS) {
                if (RegEnumValueA(key, r[2] % 4, name, &size, NULL, &type, record, &cb) == ERROR_SUCCESS)
                    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Cindertop\\AmbitKnob\\Installations", folder.c_str(),
                                    type, record, cb);
                RegCloseKey(key);
            }
            log_ += "the record of " + std::string(size < MAX_PATH ? name : "none") + " is copied to " + Utf8(folder) +
                    ", and points there";
            RegSetKeyValueW(HKEY_CURRENT_USER, Wide(ProductKey).c_str(), L"InstallDir", REG_SZ, folder.c_str(),
                            (DWORD)(folder.size() + 1) * 2);
            installDirChanged_ = recordsDeleted_ = true;
        } else if (r[0] % 4 == 0) {
            log_ += "the record is deleted";
            recordsDeleted_ = true;
            RegDeleteTreeA(HKEY_CURRENT_USER, ProductKey);
        } else if (r[0] % 4 == 1) {
            log_ += "the record points at " + Utf8(folder);
            installDirChanged_ = true;
            RegSetKeyValueW(HKEY_CURRENT_USER, Wide(ProductKey).c_str(), L"InstallDir", REG_SZ, folder.c_str(),
                            (DWORD)(folder.size() + 1) * 2);
        } else {
            // As this version records one, or as an earlier one did, naming it.
            log_ += "the record names a temporary copy, " + Utf8(file) + ", and the user has a file at its path";
            Add(copy, r[3] % 2 ? CarriedFile("ak.exe") : "the user's own");
            r[2] % 2 ? RegSetKeyValueA(HKEY_CURRENT_USER, ProductKey, "LeftCopy", REG_DWORD, "\1\0\0\0", 4)
                     : RegSetKeyValueW(HKEY_CURRENT_USER, Wide(ProductKey).c_str(), L"LeftCopy", REG_SZ, file.c_str(),
                                       (DWORD)(file.size() + 1) * 2);
        }
    }

    void CheckTheUsers()
    {
        for (auto& [path, bytes] : world_.files)
            if (std::optional<std::string> there = Read(path); there != bytes)
                Fail(there ? "a file of the user's was changed: " + Utf8(path)
                           : "a file of the user's is gone: " + Utf8(path));
        for (const std::wstring& folder : world_.folders)
            if (!IsFolder(folder))
                Fail("a folder of the user's is gone: " + Utf8(folder));
        // Wine lists a link only while its target is there, spelled on the host as it was.
        Names drive = FolderEntries("D:\\");
        for (auto& [link, target] : world_.links)
            if (IsFolder(target.first) && HostPath(target.first) == target.second &&
                std::count(drive.begin(), drive.end(), Utf8(NameOf(link))) == 0)
                Fail("a link of the user's is gone: " + Utf8(link));
    }

    // Each installation recorded has its entry in the list of installed programs, and each entry
    // names a recorded installation; "InstallDir", unless the user's own step changed it, names one.
    void CheckTheRecords()
    {
        if (recordsDeleted_)
            return;
        std::set<std::string> recorded, listed;
        HKEY key;
        char name[MAX_PATH];
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Cindertop\\AmbitKnob\\Installations", 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            for (DWORD i = 0, size = MAX_PATH;
                 RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; size = MAX_PATH, i++)
                recorded.insert(Lower(name));
            RegCloseKey(key);
        }
        for (std::string entry : {"", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"})
            if (auto where =
                    ReadString(HKEY_CURRENT_USER,
                               ("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AmbitKnob" + entry).c_str(),
                               "InstallLocation"))
                if (!listed.insert(Lower(*where)).second || !recorded.count(Lower(*where)))
                    Fail("an entry in the list of installed programs names no installation, or one named twice: " +
                         *where);
        for (const std::string& folder : recorded)
            if (!listed.count(folder))
                Fail("an installation is recorded but not listed: " + folder);
        std::optional<std::string> installDir = ReadString(HKEY_CURRENT_USER, ProductKey, "InstallDir");
        if (!installDirChanged_ && installDir && !recorded.count(Lower(*installDir)))
            Fail("\"InstallDir\" names no recorded installation: " + *installDir);
    }
    static std::string Lower(std::string text) { return CharLowerA(text.data()), text; }

    // What the user has: their files with their bytes, their folders (empty ones too), their links
    // with their targets (and the host's name of each); and the folders setup said it installed to, as the drive D:
    // names them.
    struct {
        std::map<std::wstring, std::string> files;
        std::set<std::wstring> folders;
        std::map<std::wstring, std::pair<std::wstring, std::string>> links;
        std::vector<std::wstring> installs;
    } world_;
    std::string removed_;            // what the folder the last uninstall step removed from was
    bool installDirChanged_ = false; // the user's own step changed "InstallDir" since the last install
    bool recordsDeleted_ = false;    // the user's own step deleted or forged the records
    unsigned seed_;
    std::mt19937 random_;
    std::map<unsigned, Step> steps_;
    std::string kind_ = "the tree";
    std::optional<std::string> failure_;
};

// The fewest of the seed's steps that still fail the same way: each step left out in turn, for as
// long as one can be.
std::vector<unsigned> Shorten(unsigned seed, const std::string& failure, std::vector<unsigned> steps)
{
    for (bool shorter = true; shorter;) {
        shorter = false;
        for (size_t i = steps.size(); i-- > 0 && steps.size() > 1;) {
            std::vector<unsigned> without = steps;
            without.erase(without.begin() + i);
            if (Sequence(seed, std::set<unsigned>(without.begin(), without.end())).Run() == failure)
                steps = without, shorter = true;
        }
    }
    return steps;
}

TEST(Sequences, NoFileOrFolderOfTheUsersIsLost)
{
    DWORD start = GetTickCount();
    std::map<std::string, unsigned> seen;
    unsigned ran = 0;
    for (unsigned seed = g_settings.first;
         g_settings.minutes ? GetTickCount() - start < g_settings.minutes * 60000 : ran < g_settings.count;
         seed++, ran++) {
        Sequence sequence(seed, g_settings.steps);
        std::optional<std::string> failure = sequence.Run();
        if (!failure || seen[*failure]++)
            continue;
        std::vector<unsigned> steps =
            g_settings.minutes ? Shorten(seed, *failure, sequence.indices_) : sequence.indices_;
        // A replay that fails otherwise than the first run is told beside that run.
        Sequence shortest(seed, std::set<unsigned>(steps.begin(), steps.end()));
        if (shortest.Run() != failure)
            shortest.log_ = sequence.log_ + "  and as replayed:\n" + shortest.log_;
        std::string list;
        for (unsigned step : steps)
            list += (list.empty() ? "" : ",") + std::to_string(step);
        ADD_FAILURE() << *failure << ", seed " << seed << " of the " << (sizeof(void*) == 8 ? 64 : 32)
                      << "-bit package:\n"
                      << shortest.log_ << "Replay: AK_SEQUENCES=\"--seed=" << seed << " --steps=" << list
                      << "\" scripts/test.sh -R test_sequence";
    }
    std::cout << ran << " sequences in " << (GetTickCount() - start) / 1000 << " s\n";
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::stringstream words(getenv("AK_SEQUENCES") ? getenv("AK_SEQUENCES") : ""); // nothing given: seeds 1 to 90
    for (std::string word, value; words >> word;) {
        if (sscanf(word.c_str(), "--seed=%u", &g_settings.first) == 1)
            g_settings.count = 1;
        sscanf(word.c_str(), "--from=%u", &g_settings.first);
        sscanf(word.c_str(), "--count=%u", &g_settings.count);
        sscanf(word.c_str(), "--minutes=%u", &g_settings.minutes);
        if (!word.compare(0, 8, "--steps="))
            for (std::stringstream list((g_settings.steps.emplace(), word.substr(8))); std::getline(list, value, ',');)
                g_settings.steps->insert(std::stoul(value));
    }
    return RUN_ALL_TESTS();
}
