// Benchmark driver: runs the benchmark's programs one after another in one Wine session, on
// commands from scripts/bench, one line each on standard input, answering each with one line
// on standard output. The job's phases are timed outside (bench_watch, from the file events);
// this driver only starts, clicks, waits and closes, and in the runs made for that, measures
// the window's round trips or, through its probe, the bar's lag. Every program it runs shows
// the program's window: spindlework itself, and the floor and raw programs of bench/.
//   bench_driver <working-dir> <output-dir>
// Commands:
//   start <exe> <mode>         start the program (mode quiet, lag or rtt), wait for its window
//                              and a second of idleness; answers "ready"
//   click                      click the button; no answer. Then, by mode: quiet does nothing at
//                              all while the job runs; lag waits for the probe's word that the
//                              run is done; rtt times a WM_NULL round trip every ~5 ms until
//                              the button is back
//   finish <label>             wait until the button is back; answers "done" and, by mode,
//                              the lag's or the round trips' figures as key=value words (lag
//                              also writes <output-dir>/<label>.stamps: kind, value, ms since
//                              the click)
//   close                      close the window; answers "closed <exit code>"
//   quit                       end the driver
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe.h"

static std::string workDir, outDir;

static double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}

static double CounterMs(LONGLONG counter)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(counter) / double(frequency.QuadPart);
}

static std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

static void Answer(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

// The next command's words; empty at the end of the input.
static std::vector<std::string> NextCommand()
{
    char line[4096];
    std::vector<std::string> words;
    if (!fgets(line, sizeof line, stdin))
        return words;
    for (char *word = strtok(line, " \r\n"); word; word = strtok(nullptr, " \r\n"))
        words.push_back(word);
    return words;
}

static std::string DriverDir()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

struct Program {
    PROCESS_INFORMATION process;
    HWND hWindow, hButton, hBar;
    std::string mode;
    HANDLE hProbeMap, hProbeDone;
    BenchProbe *probe;
    double click;
    std::vector<double> roundTrips;
};

// Puts bench_probe.dll into the program's window thread (a hook just long enough for one
// message) to follow the worker's posts and the bar.
static bool FollowBar(Program &p)
{
    p.hProbeMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(BenchProbe),
                                     benchProbeName);
    p.probe = p.hProbeMap ? static_cast<BenchProbe *>(MapViewOfFile(p.hProbeMap, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    p.hProbeDone = CreateEventA(nullptr, TRUE, FALSE, benchProbeDoneName);
    if (!p.probe || !p.hProbeDone)
        return false;
    ZeroMemory(p.probe, sizeof(BenchProbe));
    ResetEvent(p.hProbeDone);
    HMODULE hDll = LoadLibraryA((DriverDir() + "bench_probe.dll").c_str());
    HOOKPROC hook = hDll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(GetProcAddress(hDll, "benchProbeHook")))
                         : nullptr;
    HHOOK hHook =
        hook ? SetWindowsHookExA(WH_CALLWNDPROC, hook, hDll, GetWindowThreadProcessId(p.hWindow, nullptr)) : nullptr;
    if (!hHook)
        return false;
    DWORD_PTR ignored;
    SendMessageTimeoutA(p.hWindow, RegisterWindowMessageA(benchProbeName), WPARAM(p.hBar), 0, SMTO_NORMAL, 10000,
                        &ignored);
    UnhookWindowsHookEx(hHook);
    return p.probe->following != 0;
}

static bool Start(Program &p, const std::string &exe, const std::string &mode)
{
    p = Program();
    p.mode = mode;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string path = WindowsPath(exe), commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &startup,
                        &p.process)) {
        Answer("error cannot-start %lu", GetLastError());
        return false;
    }
    for (int i = 0; i < 600 && !p.hWindow; ++i, Sleep(50)) {
        HWND hWindow = FindWindowA("QUILLBOXFRAME", "main window");
        DWORD owner = 0;
        if (hWindow && GetWindowThreadProcessId(hWindow, &owner) && owner == p.process.dwProcessId)
            p.hWindow = hWindow;
    }
    p.hButton = p.hWindow ? GetDlgItem(p.hWindow, 1) : nullptr;
    p.hBar = p.hWindow ? FindWindowExA(p.hWindow, nullptr, "msctls_progress32", nullptr) : nullptr;
    if (!p.hButton || (mode == "lag" && !p.hBar)) {
        TerminateProcess(p.process.hProcess, 1);
        Answer("error no-window");
        return false;
    }
    if (mode == "lag" && !FollowBar(p)) {
        TerminateProcess(p.process.hProcess, 1);
        Answer("error no-probe");
        return false;
    }
    Sleep(1000);
    Answer("ready");
    return true;
}

static bool ButtonBack(const Program &p, double limitMs)
{
    for (double until = NowMs() + limitMs; NowMs() < until; Sleep(20))
        if (IsWindowEnabled(p.hButton))
            return true;
    return false;
}

static void Click(Program &p)
{
    p.click = NowMs();
    PostMessageA(p.hButton, BM_CLICK, 0, 0);
    if (p.mode == "lag") {
        WaitForSingleObject(p.hProbeDone, 900000);
    } else if (p.mode == "rtt") {
        bool started = false;
        while (NowMs() - p.click < 900000) {
            double before = NowMs();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(p.hWindow, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result))
                break;
            p.roundTrips.push_back(NowMs() - before);
            bool enabled = IsWindowEnabled(p.hButton) != FALSE;
            if (!enabled)
                started = true;
            else if (started)
                break;
            Sleep(5);
        }
    }
}

// The bar's lag: for each position the worker posted, the time until the bar got it. Posts
// and positions pair up in order: the window answers each post with one PBM_SETPOS.
static void ReportLag(const Program &p, const std::string &label)
{
    LONG taken = p.probe->count, count = std::min<LONG>(taken, LONG(sizeof p.probe->stamps / sizeof p.probe->stamps[0]));
    std::vector<Stamp> stamps(p.probe->stamps, p.probe->stamps + count);
    std::stable_sort(stamps.begin(), stamps.end(),
                     [](const Stamp &a, const Stamp &b) { return a.counter < b.counter; });
    std::vector<double> posted, set, painted;
    std::vector<LONG> postedValue, setValue;
    FILE *file = fopen((WindowsPath(outDir) + "\\" + label + ".stamps").c_str(), "w");
    for (const Stamp &s : stamps) {
        double ms = CounterMs(s.counter) - p.click;
        if (file)
            fprintf(file, "%s %ld %.3f\n",
                    s.kind == stampPosted ? "posted" : s.kind == stampSet ? "set" : "painted", s.value, ms);
        if (s.kind == stampPosted) {
            posted.push_back(ms);
            postedValue.push_back(s.value);
        } else if (s.kind == stampSet) {
            set.push_back(ms);
            setValue.push_back(s.value);
        } else {
            painted.push_back(ms);
        }
    }
    if (file)
        fclose(file);
    // Post 0 starts the run; posts 1 to 1001 are the writing phase's.
    const size_t last = 1001;
    if (posted.size() <= last || set.size() <= last || !std::equal(postedValue.begin(), postedValue.begin() + last + 1,
                                                                   setValue.begin())) {
        Answer("error lag-unmatched posted %zu set %zu", posted.size(), set.size());
        return;
    }
    double worst = 0;
    for (size_t k = 1; k <= last; ++k)
        worst = std::max(worst, set[k] - posted[k]);
    // The bar shows 50 at its first paint after it first got 50 (later 50s change nothing
    // to paint); that may come before the worker's last post.
    double shown = -1, first50 = -1;
    for (size_t k = 1; k <= last && first50 < 0; ++k)
        if (setValue[k] == 50)
            first50 = set[k];
    for (double t : painted)
        if (t >= first50) {
            shown = t;
            break;
        }
    Answer("done lag_ms=%.3f shown_ms=%.3f worst_lag_ms=%.3f posting_ms=%.3f paints=%zu", set[last] - posted[last],
           shown < 0 ? 99999.0 : shown - posted[last], worst, posted[last] - posted[1], painted.size());
}

static void Finish(Program &p, const std::string &label)
{
    if (!ButtonBack(p, 600000)) {
        Answer("error not-done");
        return;
    }
    if (p.mode == "lag") {
        ReportLag(p, label);
    } else if (p.mode == "rtt") {
        std::vector<double> &r = p.roundTrips;
        std::sort(r.begin(), r.end());
        size_t n = r.size();
        if (n)
            Answer("done rtt_n=%zu rtt_p50_ms=%.3f rtt_p99_ms=%.3f rtt_max_ms=%.3f", n, r[n / 2], r[(n * 99) / 100],
                   r[n - 1]);
        else
            Answer("error no-round-trips");
    } else {
        Answer("done");
    }
}

static void Close(Program &p)
{
    PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(p.process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(p.process.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(p.process.hProcess, &code);
    CloseHandle(p.process.hProcess);
    CloseHandle(p.process.hThread);
    if (p.probe)
        UnmapViewOfFile(p.probe);
    if (p.hProbeMap)
        CloseHandle(p.hProbeMap);
    if (p.hProbeDone)
        CloseHandle(p.hProbeDone);
    p = Program();
    Answer("closed %lu", code);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        printf("usage: bench_driver <working-dir> <output-dir>\n");
        return 2;
    }
    workDir = WindowsPath(argv[1]);
    outDir = argv[2];
    Program program = Program();
    Answer("hello");
    for (std::vector<std::string> c = NextCommand(); !c.empty(); c = NextCommand()) {
        if (c[0] == "start" && c.size() == 3)
            Start(program, c[1], c[2]);
        else if (c[0] == "click")
            Click(program);
        else if (c[0] == "finish" && c.size() == 2)
            Finish(program, c[1]);
        else if (c[0] == "close")
            Close(program);
        else if (c[0] == "quit")
            break;
        else
            Answer("error unknown-command %s", c[0].c_str());
    }
    return 0;
}
