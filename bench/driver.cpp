// Benchmark driver: runs the benchmark's programs one after another in one Wine session, on
// commands from scripts/bench (a line each on standard input, each answered with a line). The
// job's phases are timed outside, from the file events (watch.c); this driver starts, clicks,
// waits and closes the programs as the end-to-end tests do (tests/e2e/program.h), and in runs
// of their own measures the window's round trips or, from the probe's record, the bar's lag.
//   bench_driver <working-dir> <output-dir>
//   start <exe> <quiet|lag|rtt>  start it and wait for its window and a second of idleness: "ready"
//   click          click; then quiet watches nothing, lag follows the record to the run's end, rtt
//                  times a WM_NULL round trip every ~5 ms until the button is back (no answer)
//   finish <label> wait for the button: "done" and the lag's or the round trips' figures as
//                  key=value words (lag also writes <output-dir>/<label>.stamps: posted or set,
//                  the position, ms since the click)
//   close          close the window: "closed <exit code>";   quit   end the driver
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "program.h"

static std::string workDir, outDir;
static Program program;
static std::string mode;
static double clickMs;
static Run run;
static std::vector<double> roundTrips;

static void Answer(const std::string &text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

static void Start(const std::string &exe)
{
    program = Program();
    std::string why = StartProgram(program, exe, workDir);
    if (why.empty() && mode == "lag" && !AttachProbe(program)) why = "no probe";
    if (!why.empty()) {
        if (program.pi.hProcess) TerminateProcess(program.pi.hProcess, 1);
        Answer("error " + why);
        return;
    }
    Sleep(1000);
    Answer("ready");
}

static void Click()
{
    run = Run();
    roundTrips.clear();
    clickMs = NowMs();
    if (mode == "lag") {
        FollowRun(program, run, 900000, false); // it clicks; nothing polls the window meanwhile
        return;
    }
    PostMessageA(program.hButton, BM_CLICK, 0, 0);
    for (bool started = false; mode == "rtt" && NowMs() - clickMs < 900000; Sleep(5)) {
        double before = NowMs();
        DWORD_PTR ignored;
        if (!Ask(program.hWindow, WM_NULL, 0, 0, &ignored)) break;
        roundTrips.push_back(NowMs() - before);
        if (!IsWindowEnabled(program.hButton))
            started = true;
        else if (started)
            break;
    }
}

// The bar's lag: for each position the worker posted, the time until the bar got it. Posts and
// positions pair up in order: the window answers each post with one PBM_SETPOS.
static std::string Lag(const std::string &label)
{
    std::vector<double> posted, set;
    FILE *file = std::fopen((WinPath(outDir) + "\\" + label + ".stamps").c_str(), "w");
    for (const Call &c : run.worker)
        if (c.kind == 'p' && c.a == 0x401) {
            posted.push_back(CounterMs(c.time) - clickMs);
            if (file) std::fprintf(file, "posted %d %.3f\n", int(c.b), posted.back());
        }
    for (const Call &c : run.window)
        if (c.kind == 'P') {
            set.push_back(CounterMs(c.time) - clickMs);
            if (file) std::fprintf(file, "set %d %.3f\n", int(c.a), set.back());
        }
    if (file) std::fclose(file);
    // Post 0 starts the run; posts 1 to 1001 are the writing phase's.
    const size_t last = 1001;
    if (!run.end.empty() || posted.size() <= last || set.size() <= last)
        return "error lag-unmatched posted " + std::to_string(posted.size()) + " set " + std::to_string(set.size());
    double worst = 0;
    for (size_t k = 1; k <= last; ++k) worst = std::max(worst, set[k] - posted[k]);
    char text[128];
    std::snprintf(text, sizeof text, "done lag_ms=%.3f worst_lag_ms=%.3f", set[last] - posted[last], worst);
    return text;
}

static void Finish(const std::string &label)
{
    for (double until = NowMs() + 600000; !IsWindowEnabled(program.hButton); Sleep(20))
        if (NowMs() > until) return Answer("error not-done");
    char text[160];
    std::vector<double> &r = roundTrips;
    std::sort(r.begin(), r.end());
    if (mode == "lag")
        Answer(Lag(label));
    else if (mode == "rtt" && r.empty())
        Answer("error no-round-trips");
    else if (mode == "rtt")
        std::snprintf(text, sizeof text, "done rtt_n=%zu rtt_p50_ms=%.3f rtt_p99_ms=%.3f rtt_max_ms=%.3f", r.size(),
                      r[r.size() / 2], r[r.size() * 99 / 100], r.back()),
            Answer(text);
    else
        Answer("done");
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::printf("usage: bench_driver <working-dir> <output-dir>\n");
        return 2;
    }
    workDir = argv[1];
    outDir = argv[2];
    Answer("hello");
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        char word[16] = "", argument[4000] = "", more[16] = "";
        std::sscanf(line, "%15s %3999s %15s", word, argument, more);
        std::string command = word;
        if (command == "start")
            mode = more, Start(argument);
        else if (command == "click")
            Click();
        else if (command == "finish")
            Finish(argument);
        else if (command == "close") {
            std::string how = CloseProgram(program), ended = "ended, exit code ";
            Answer("closed " + (how.compare(0, ended.size(), ended) ? how : how.substr(ended.size())));
        } else if (command == "quit")
            break;
        else
            Answer("error unknown-command " + command);
    }
    return 0;
}
