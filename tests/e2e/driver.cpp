// End-to-end driver: starts spindlework.exe in the normal show state, as a double-click in
// Explorer does, and finds its window the way any other program would; brings in the probe
// (probe.h), clicks and follows each run through the probe's record to its end; then closes the
// window. What it sees goes into a transcript, which must equal the scenario's expected file.
//
//   e2e_driver <spindlework.exe> <working-dir> <expected-file> [options]
//     --runs=N                  click and follow N runs one after another (default 1)
//     --chunks=BYTES[,BYTES...] the copy stand-in's chunk, one a run, the last for the rest
//                               (default 1 MiB): the probe points the exe's CopyFileExA there
//     --close=pause             hold the worker in its first pause, then close the window
//     --stdout=pipe|gone        the program's standard output and error (else it has none, as when
//                               started from Explorer): a pipe the driver reads while the job
//                               runs; a pipe whose reader is gone at the start
//     --files                   afterwards, both files: their size, whether all "A", held open by nobody
//     --shots                   screenshots by run-e2e: writes shot-<name>.req ("x y width height" of
//                               the window) into the working directory, waits for shot-<name>.done
//     --transcript=FILE         also write the transcript there
// Unix paths (/...) are taken as paths on Wine's Z: drive; e2e_probe.dll sits beside the driver.
// Exit code 0 when the transcript is as expected.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "program.h"
#include "text_compare.h"

static std::vector<std::string> transcript;
static std::string shotsDir; // the working directory when screenshots are asked for
static int failures;

// The screenshots are run-e2e's; a shot not taken is a failure outside the transcript.
static void Shot(HWND hWindow, const char *name)
{
    if (shotsDir.empty()) return;
    RECT r;
    GetWindowRect(hWindow, &r);
    std::string req = shotsDir + "\\shot-" + name + ".req", done = shotsDir + "\\shot-" + name + ".done";
    if (FILE *f = std::fopen((req + ".tmp").c_str(), "w")) {
        std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(f);
        MoveFileA((req + ".tmp").c_str(), req.c_str());
    }
    for (int i = 0; i < 200 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    bool taken = GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::printf("%s screenshot %s\n", taken ? "ok  " : "FAIL", name);
    failures += !taken;
}

static void ShotWhenRunning(const Program &p, const Run &run)
{
    static bool taken;
    if (!taken && !run.window.empty() && run.window.back().kind == 'P' && run.window.back().a >= 20)
        taken = true, Shot(p.hWindow, "running");
}

// The probe's record as the expected files write it, in compact form (text_compare.h); the bar's
// entries may be left out, for they may lag.
static void Record(const Program &p, const std::vector<Call> &calls, LONG_PTR hThread, bool barLeftOut)
{
    std::vector<std::string> e;
    for (const Call &c : calls) {
        int a = int(c.a), b = int(c.b);
        const char *window = HWND(c.window) == p.hWindow ? "the window" : "another window";
        switch (c.kind) {
        case 'B': AddLine(e, "button %s", a ? "enabled" : "disabled"); break;
        case 'P': if (!barLeftOut) AddLine(e, "bar: %d", a); break;
        case 'p': AddLine(e, "post 0x%X to %s, lParam %d: %d", a, window, int(c.c), b); break;
        case 's': AddLine(e, "sleep %d ms, alertable %d", a, b); break;
        case 't': AddLine(e, "thread started, %s", b ? "the window its argument" : "another argument"); break;
        case 'r': AddLine(e, "thread returned %d", a); break;
        case 'c': AddLine(e, "close %s", c.a == hThread ? "the thread's handle" : "another handle"); break;
        case 'd': AddLine(e, "delete %s", c.a == p.probe->hFont ? "the button's font" : "another object"); break;
        case 'x': AddLine(e, "copy, flags %d, context %s, %s", a, b ? "the window" : "another", c.c ? "a cancel flag" : "no cancel flag"); break;
        default: AddLine(e, "unknown entry '%c'", char(c.kind));
        }
    }
    for (const std::string &line : Grouped(e)) transcript.push_back(line);
}

static void RecordRun(const Program &p, const Run &run, bool barLeftOut)
{
    LONG_PTR hThread = 0;
    for (const Call &c : run.window)
        if (c.kind == 't') hThread = c.a;
    AddLine(transcript, "worker:");
    Record(p, run.worker, hThread, false);
    AddLine(transcript, barLeftOut ? "window, bar left out (it may lag):" : "window:");
    Record(p, run.window, hThread, barLeftOut);
}

// Both files afterwards: exactly the job's bytes of "A", and opened with no sharing, so nobody holds them.
static void CheckFiles(const std::string &dir)
{
    for (const char *name : {"testfile.tmp", "testfile2.tmp"}) {
        HANDLE hFile = CreateFileA((dir + "\\" + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            AddLine(transcript, "%s: cannot be opened with no sharing (error %lu)", name, GetLastError());
            continue;
        }
        std::vector<char> buffer(4 << 20);
        long long size = 0, bad = -1;
        DWORD got = 0;
        while (ReadFile(hFile, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0) {
            for (DWORD i = 0; i < got && bad < 0; ++i)
                if (buffer[i] != 'A') bad = size + i;
            size += got;
        }
        CloseHandle(hFile);
        AddLine(transcript, "%s: %lld bytes, %s, held open by nobody", name, size,
                bad < 0 ? "all \"A\"" : ("not \"A\" at byte " + std::to_string(bad)).c_str());
    }
}

// A pipe as standard output (--stdout=pipe), read on a thread of its own while the program runs.
static HANDLE hPipe;
static std::string pipeBytes;

static DWORD WINAPI ReadPipe(LPVOID)
{
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(hPipe, buffer, sizeof buffer, &got, nullptr) && got) pipeBytes.append(buffer, got);
    return 0;
}

int main(int argc, char **argv)
{
    // Options as name=value, or a name alone; the defaults first.
    std::map<std::string, std::string> o = {{"runs", "1"}, {"chunks", "1048576"}};
    for (int i = 4; i < argc; ++i) {
        std::string a = argv[i];
        size_t equals = a.find('=');
        o[a.substr(2, equals == std::string::npos ? std::string::npos : equals - 2)] =
            equals == std::string::npos ? "" : a.substr(equals + 1);
    }
    std::string dir = WinPath(argv[2]), out = o["stdout"], close = o["close"], refused;
    int runs = std::atoi(o["runs"].c_str());
    bool files = o.count("files");
    std::vector<size_t> chunks;
    for (size_t at = 0; at != std::string::npos; at = o["chunks"].find(',', at + 1))
        chunks.push_back(std::atoll(o["chunks"].c_str() + at + (at > 0)));
    if (o.count("shots")) shotsDir = dir;
    for (const auto &option : o)
        if (!std::strstr(" runs chunks close stdout files shots transcript ",
                         (" " + option.first + " ").c_str()))
            refused = "unknown option --" + option.first;
    if ((!close.empty() && close != "pause") ||
        (!out.empty() && out != "pipe" && out != "gone"))
        refused = "--close=pause, --stdout=pipe|gone";
    // Options whose checks would vanish together: a held run has no end, files or pipe to look at.
    if (!close.empty() && (runs != 1 || files || out == "pipe"))
        refused = "--close holds the one run for good: no --runs, --files or --stdout=pipe";
    if (argc < 4 || !refused.empty()) {
        std::fprintf(stderr, "usage: e2e_driver <spindlework.exe> <working-dir> <expected-file> [options: see "
                             "driver.cpp]%s%s\n", refused.empty() ? "" : "\n  refused: ", refused.c_str());
        return 2;
    }

    // The program's standard output: none, or a pipe (read here, or whose reader goes at once).
    HANDLE hOut = nullptr;
    if (out == "pipe" || out == "gone") {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        CreatePipe(&hPipe, &hOut, &inherit, 0);
        SetHandleInformation(hPipe, HANDLE_FLAG_INHERIT, 0);
    }
    Program p;
    std::string started = StartProgram(p, argv[1], argv[2], hOut);
    if (hOut) CloseHandle(hOut);
    HANDLE hReader = out == "pipe" ? CreateThread(nullptr, 0, ReadPipe, nullptr, 0, nullptr) : nullptr;
    if (out == "gone") CloseHandle(hPipe); // the reader has gone: writes to the pipe fail from now on
    if (!started.empty())
        AddLine(transcript, "start: %s", started.c_str());
    else if (!AttachProbe(p))
        AddLine(transcript, "the probe: not recording in the program");
    else {
        std::printf("== started %s, the probe in\n", argv[1]);
        if (!shotsDir.empty()) Sleep(500), Shot(p.hWindow, "idle"); // painted first
        bool goOn = true;
        for (int n = 1; goOn && n <= runs; ++n) {
            size_t chunk = chunks[std::min(size_t(n - 1), chunks.size() - 1)];
            if (!AskProbe(p, askCopy, LPARAM(chunk))) AddLine(transcript, "run %d: the copy stand-in not in place", n);
            p.probe->holdSleep = close.empty() ? 0 : 1;
            Run run;
            FollowRun(p, run, 60000, true, ShotWhenRunning);
            std::printf("== run %d followed%s%s\n", n, run.end.empty() ? "" : ": ", run.end.c_str());
            AddLine(transcript, "run %d, copied in chunks of %zu bytes%s:", n, chunk,
                    close.empty() ? "" : ", the worker held at its first pause");
            RecordRun(p, run, !close.empty());
            if (!close.empty() && run.end != "held")
                AddLine(transcript, "the worker was not held: %s", run.end.c_str());
            else if (close.empty() && !run.end.empty())
                AddLine(transcript, "%s", run.end.c_str()), goOn = false;
        }
        if (files) CheckFiles(dir);
        std::vector<Call> calls;
        std::string how = CloseProgram(p, &calls);
        AddLine(transcript, "closed, the window's calls (bar left out):");
        Record(p, calls, 0, true);
        AddLine(transcript, "the program %s", how.c_str());
        if (!close.empty())
            for (const char *name : {"testfile.tmp", "testfile2.tmp"})
                if (GetFileAttributesA((dir + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES)
                    AddLine(transcript, "%s made", name);
    }
    if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(p.pi.hProcess, 1);
    if (hReader && WaitForSingleObject(hReader, 10000) == WAIT_OBJECT_0) {
        AddLine(transcript, "standard output, a pipe, as it ended:");
        for (const std::string &line : Lines(pipeBytes)) transcript.push_back(line);
    } else if (hReader) {
        AddLine(transcript, "standard output, a pipe: not ended 10 s after the program");
    }

    if (FILE *f = o.count("transcript") ? std::fopen(WinPath(o["transcript"]).c_str(), "wb") : nullptr) {
        for (const std::string &line : transcript) std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
    std::string difference = FirstDifference(ExpectedLines(WinPath(argv[3])), transcript);
    std::printf("%s the transcript is as %s says\n%s", difference.empty() ? "ok  " : "FAIL", argv[3],
                difference.c_str());
    failures += !difference.empty();
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
