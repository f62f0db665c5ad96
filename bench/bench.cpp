// The release benchmark: sizes, time to first window against a floor program, "Go!" to the success
// box, and peak working set. Run it through scripts/bench.sh; it prints one report.
#include "../resources/resource.h"
#include "../tests/driver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const DWORD PAUSE_MS = 250; // lets the previous process's teardown settle before a run
const DWORD WINDOW_TIMEOUT_MS = 15000;

[[noreturn]] void Fail(const std::string& what)
{
    std::printf("benchmark failed: %s\n", what.c_str());
    std::fflush(stdout);
    std::exit(1);
}

double NowMs()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// Polls every millisecond, so that the measuring process takes little of a shared machine's time.
HWND PollForWindow(DWORD processId, const char* className, const char* caption, double start)
{
    for (;;) {
        std::vector<HWND> found = TopWindows(processId, className, caption);
        if (!found.empty())
            return found.front();
        if (NowMs() - start > WINDOW_TIMEOUT_MS)
            return NULL;
        Sleep(1);
    }
}

long long FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        Fail("cannot read the size of " + path);
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    double at = fraction * (double)(values.size() - 1);
    size_t low = (size_t)at;
    size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - (double)low);
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void PrintSizes()
{
    long long setup = FileBytes(BuildPath("setup.exe"));
    long long carried = 0;
    for (const char* name : CarriedNames)
        carried += FileBytes(BuildPath(std::string("payload\\") + name));
    // The benchmark is built for the package it measures, as the floor is.
    std::printf("The %s package, against a floor built for the same architecture\n\n",
                sizeof(void*) == 8 ? "64-bit (PE32+ x86-64)" : "32-bit (PE32, under WOW64)");
    std::printf("Sizes (bytes)\n");
    std::printf("  setup.exe     %7lld\n", setup);
    std::printf("  uninstal.exe  %7lld   (target at most 6144)\n", FileBytes(BuildPath("uninstal.exe")));
    std::printf("  ak.exe        %7lld\n", FileBytes(BuildPath("ak.exe")));
    std::printf("  six carried files together %lld; the installer's own overhead %lld (%.2f KB, target at most 8 KB)\n",
                carried, setup - carried, (double)(setup - carried) / 1024.0);
}

// Milliseconds from just before CreateProcess until the process has a visible top-level window.
// The process is then ended at once: a Wine process takes two seconds to exit after its dialog
// closes, which would only lengthen the run.
double TimeToFirstWindow(const std::string& exe)
{
    Sleep(PAUSE_MS);
    double start = NowMs();
    Process process(exe);
    if (process.Id() == 0)
        Fail("cannot start " + exe);
    HWND window = PollForWindow(process.Id(), NULL, NULL, start);
    double elapsed = NowMs() - start;
    if (window == NULL)
        Fail(exe + " showed no window");
    process.Kill();
    return elapsed;
}

struct Paired {
    std::vector<double> a, b, ratios;
};

// Runs A B B A blocks, so that a drift of the machine during the run falls on both alike.
Paired Compare(const std::string& a, const std::string& b, int runsEach)
{
    Paired result;
    for (int block = 0; block < runsEach / 2; block++) {
        double a1 = TimeToFirstWindow(a);
        double b1 = TimeToFirstWindow(b);
        double b2 = TimeToFirstWindow(b);
        double a2 = TimeToFirstWindow(a);
        result.a.insert(result.a.end(), {a1, a2});
        result.b.insert(result.b.end(), {b1, b2});
        result.ratios.insert(result.ratios.end(), {a1 / b1, a2 / b2});
    }
    return result;
}

void PrintTimes(const char* name, const std::vector<double>& times)
{
    std::printf("  %-14s min %7.1f   median %7.1f\n", name, Min(times), Median(times));
}

void PrintFirstWindow(int runsEach)
{
    std::string setup = BuildPath("setup.exe");
    std::string floor = BuildPath("bench\\floor.exe");
    std::string copy = BuildPath("bench\\floor-copy.exe");
    std::string manifested = BuildPath("bench\\floor-manifest.exe");
    // One unmeasured start of each, so that the first measured one finds the same caches as the rest.
    TimeToFirstWindow(setup);
    TimeToFirstWindow(floor);
    TimeToFirstWindow(copy);
    TimeToFirstWindow(manifested);

    Paired installer = Compare(setup, floor, runsEach);
    Paired noise = Compare(copy, floor, runsEach);
    Paired sameManifest = Compare(setup, manifested, runsEach);
    std::printf("\nTime to first window (ms; %d runs each, A B B A, %lu ms pause before each run)\n", runsEach,
                (unsigned long)PAUSE_MS);
    PrintTimes("setup.exe", installer.a);
    PrintTimes("floor.exe", installer.b);
    std::printf(
        "  setup.exe / floor.exe: median of %zu paired ratios %.3f (middle half %.3f to %.3f; target at most 1.1)\n",
        installer.ratios.size(), Median(installer.ratios), Percentile(installer.ratios, 0.25),
        Percentile(installer.ratios, 0.75));
    PrintTimes("floor-copy.exe", noise.a);
    PrintTimes("floor.exe", noise.b);
    std::printf("  noise band: the floor's copy against the floor gives a median paired ratio of %.3f (middle half "
                "%.3f to %.3f);\n  a setup.exe ratio within that distance of 1 is noise, not a difference\n",
                Median(noise.ratios), Percentile(noise.ratios, 0.25), Percentile(noise.ratios, 0.75));
    PrintTimes("setup.exe", sameManifest.a);
    PrintTimes("floor-manifest", sameManifest.b);
    std::printf("  setup.exe / the floor with the installer's manifest: median paired ratio %.3f (middle half %.3f to "
                "%.3f);\n  the rest of the distance to the floor is the manifest's\n",
                Median(sameManifest.ratios), Percentile(sameManifest.ratios, 0.25),
                Percentile(sameManifest.ratios, 0.75));
}

SIZE_T PeakWorkingSetKb(DWORD processId)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        Fail("GetProcessMemoryInfo failed");
    CloseHandle(process);
    return counters.PeakWorkingSetSize / 1024;
}

// Starts the installer, installs into a fresh folder without the launches, and returns the
// milliseconds from the click on "Go!" until the success box is visible.
double GoToSuccessBox(const std::string& exe, int index, std::vector<double>& peakKb)
{
    std::string folder = FreshFolder("bench-go-" + std::to_string(index));
    Sleep(PAUSE_MS);
    Process setup(exe);
    HWND dialog = setup.Id() != 0 ? WaitForWindow(setup.Id(), "#32770", "Ambit Knob 2.00 Setup") : NULL;
    if (dialog == NULL)
        Fail("the installer's dialog did not appear");
    SetDlgItemTextA(dialog, IDC_DESTINATION, (folder + "\\AmbitKnob").c_str());
    CheckDlgButton(dialog, IDC_VIEW_README, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RUN_APP, BST_UNCHECKED);

    double start = NowMs();
    Click(dialog, IDOK);
    HWND box = PollForWindow(setup.Id(), "#32770", "Information", start);
    double elapsed = NowMs() - start;
    if (box == NULL)
        Fail("no message box after \"Go!\"");
    if (MessageBoxText(box) != "Installation was finished successfully!")
        Fail("the install into " + folder + " failed: " + MessageBoxText(box));
    peakKb.push_back((double)PeakWorkingSetKb(setup.Id()));
    Click(box, IDOK);
    if (setup.Wait(WINDOW_TIMEOUT_MS) != std::optional<DWORD>(1))
        Fail("the installer did not end with 1 after the success box");
    return elapsed;
}

void PrintGo(int installs, const char* exe = "setup.exe")
{
    std::vector<double> times, peakKb;
    for (int i = 0; i < installs; i++)
        times.push_back(GoToSuccessBox(BuildPath(exe), i, peakKb));
    std::printf("\n\"Go!\" to the success box of %s (ms; %d installs, each into a fresh folder, program group on)\n",
                exe, installs);
    std::printf("  min %.1f   median %.1f   (target median at most 30)\n", Min(times), Median(times));
    std::printf("  peak working set of setup.exe after an install: median %.0f KB\n", Median(peakKb));
}

// Peak working set once the first window is up and has settled.
double SettledPeakKb(const std::string& exe)
{
    Sleep(PAUSE_MS);
    Process process(exe);
    HWND window = process.Id() != 0 ? PollForWindow(process.Id(), NULL, NULL, NowMs()) : NULL;
    if (window == NULL)
        Fail(exe + " showed no window");
    Sleep(500);
    return (double)PeakWorkingSetKb(process.Id());
}

void PrintWorkingSet(int runs)
{
    std::vector<double> setup, floor;
    for (int i = 0; i < runs; i++) {
        setup.push_back(SettledPeakKb(BuildPath("setup.exe")));
        floor.push_back(SettledPeakKb(BuildPath("bench\\floor.exe")));
    }
    std::printf("\nPeak working set with the dialog up (KB, median of %d runs each)\n", runs);
    std::printf("  setup.exe %.0f   floor.exe %.0f   ratio %.3f\n", Median(setup), Median(floor),
                Median(setup) / Median(floor));
}

} // namespace

// "--compare A.exe B.exe [runs]": the time to first window of any two programs of the build tree,
// for finding out what a change to the installer costs.
int CompareOnly(int argc, char** argv)
{
    int runsEach = argc > 4 ? std::max(2, std::atoi(argv[4])) : 24;
    runsEach += runsEach % 2;
    std::string a = BuildPath(argv[2]), b = BuildPath(argv[3]);
    TimeToFirstWindow(a);
    TimeToFirstWindow(b);
    Paired paired = Compare(a, b, runsEach);
    PrintTimes(argv[2], paired.a);
    PrintTimes(argv[3], paired.b);
    std::printf("  median of %zu paired ratios %.3f (middle half %.3f to %.3f)\n", paired.ratios.size(),
                Median(paired.ratios), Percentile(paired.ratios, 0.25), Percentile(paired.ratios, 0.75));
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "--compare")
        return CompareOnly(argc, argv);
    // "--go [installs] [A.exe]": only the "Go!" figure of setup.exe or of another installer build in
    // the build tree, for finding out what a change to the install costs.
    if (argc >= 2 && std::string(argv[1]) == "--go") {
        PrintGo(argc > 2 ? std::max(1, std::atoi(argv[2])) : 12, argc > 3 ? argv[3] : "setup.exe");
        return 0;
    }

    int runsEach = argc > 1 ? std::max(20, std::atoi(argv[1])) : 24;
    int installs = argc > 2 ? std::max(10, std::atoi(argv[2])) : 12;
    runsEach += runsEach % 2;
    setvbuf(stdout, NULL, _IONBF, 0);

    PrintSizes();
    PrintFirstWindow(runsEach);
    PrintGo(installs);
    PrintWorkingSet(5);
    std::printf("\nUnder Wine on a shared machine absolute times swing by a third from run to run; the ratios\n"
                "within one run are what count.\n");
    return 0;
}
