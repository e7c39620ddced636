// End-to-end driver: starts spindlework.exe in the normal show state, as a double-click in
// Explorer does, and finds its window the way any other program would; brings in the probe
// (probe.h), clicks and follows each run through the probe's record to its end; then closes the
// window. What it sees goes into a transcript, which must equal the scenario's expected file.
//
//   e2e_driver <spindlework.exe> <working-dir> <expected-file> [options]
//     --runs=N                  click and follow N runs one after another (default 1)
//     --chunks=BYTES[,BYTES...] the copy stand-in's chunk, one a run, the last for the rest
//                               (default 1 MiB): the probe points the exe's CopyFileExA there
//     --close=writing|copying|pause  hold the worker at its 201st post (200 blocks written), its
//                               1,010th (in its copy) or its first pause, then close the window
//     --stdout=pipe|gone        the program's standard output and error (else it has none, as when
//                               started from Explorer): a pipe the driver reads while the job
//                               runs; a pipe whose reader is gone at the start
//     --console=WxH,ROWS        a console as standard output: a W x H buffer seeded with "." in
//                               colour 8, a window of ROWS rows, colour 7; shown after the runs
//     --describe                the window, its controls and the button's font, as found
//     --handle                  during the first run, resize, maximise, minimise, restore and move
//                               the window; the controls stay where they are and the window answers
//     --retouch                 between runs, spoil what the run left: a "Z" at byte 500,000,000 of
//                               testfile.tmp, 64 times "spindlework tail" appended to it, and
//                               testfile2.tmp cut to 1,000 bytes (run-e2e checks them afterwards)
//     --files                   afterwards, both files: their size, whether all "A", held open by nobody
//     --shots                   screenshots by run-e2e: writes shot-<name>.req ("x y width height" of
//                               the window) into the working directory, waits for shot-<name>.done
//     --stall=SECONDS           end a run when nothing new happens for this long (default 60)
//     --transcript=FILE         also write the transcript there
// Unix paths (/...) are taken as paths on Wine's Z: drive; e2e_probe.dll sits beside the driver.
// Exit code 0 when the transcript is as expected.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "program.h"
#include "text_compare.h"

static std::vector<std::string> transcript;
static std::string shotsDir; // the working directory when screenshots are asked for
static int failures;

static void Line(const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    transcript.push_back(text);
}

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

// Where a control sits in the program's window.
static std::string Place(const Program &p, HWND hChild)
{
    RECT r;
    GetWindowRect(hChild, &r);
    MapWindowPoints(nullptr, p.hWindow, reinterpret_cast<POINT *>(&r), 2);
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld %ld x %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

static void Describe(const Program &p)
{
    char cls[64], text[256];
    RECT r;
    GetWindowRect(p.hWindow, &r);
    GetClassNameA(p.hWindow, cls, sizeof cls);
    GetWindowTextA(p.hWindow, text, sizeof text);
    Line("window: class \"%s\", title \"%s\", %ld x %ld, style 0x%08lX, extended 0x%lX, %s", cls, text,
         r.right - r.left, r.bottom - r.top, GetWindowLongA(p.hWindow, GWL_STYLE),
         GetWindowLongA(p.hWindow, GWL_EXSTYLE), GetMenu(p.hWindow) ? "a menu" : "no menu");
    for (HWND hChild = GetWindow(p.hWindow, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        GetClassNameA(hChild, cls, sizeof cls);
        GetWindowTextA(hChild, text, sizeof text);
        bool sameInstance = GetWindowLongPtrA(hChild, GWLP_HINSTANCE) == GetWindowLongPtrA(p.hWindow, GWLP_HINSTANCE);
        Line("child: class \"%s\", text \"%s\", id %d, style 0x%08lX, extended 0x%lX, at %s, %s instance", cls, text,
             GetDlgCtrlID(hChild), GetWindowLongA(hChild, GWL_STYLE), GetWindowLongA(hChild, GWL_EXSTYLE),
             Place(p, hChild).c_str(), sameInstance ? "the window's" : "another");
    }
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const LOGFONTA &want = metrics.lfMessageFont, &font = p.probe->font;
    if (p.probe->fontState != 1)
        Line("the button's font: none");
    else if (!std::memcmp(&font, &want, offsetof(LOGFONTA, lfFaceName)) && !std::strcmp(font.lfFaceName, want.lfFaceName))
        Line("the button's font: the system's message font");
    else
        Line("the button's font: \"%s\", height %ld, weight %ld, not the message font", font.lfFaceName,
             font.lfHeight, font.lfWeight);
    DWORD_PTR low = 99, high = 0, position = 99;
    Ask(p.hBar, PBM_GETRANGE, TRUE, 0, &low), Ask(p.hBar, PBM_GETRANGE, FALSE, 0, &high);
    Ask(p.hBar, PBM_GETPOS, 0, 0, &position);
    Line("the bar: range %d to %d, position %d", int(low), int(high), int(position));
}

// An entry of the probe's record as the expected files write it.
static std::string EntryText(const Program &p, const Call &c, LONG_PTR hThread)
{
    char text[160];
    switch (c.kind) {
    case 'B': std::snprintf(text, sizeof text, "button %s", c.a ? "enabled" : "disabled"); break;
    case 'P': std::snprintf(text, sizeof text, "bar: %d", int(c.a)); break;
    case 'p':
        std::snprintf(text, sizeof text, "post 0x%X to %s, lParam %d: %d", unsigned(c.a),
                      HWND(c.window) == p.hWindow ? "the window" : "another window", int(c.c), int(c.b));
        break;
    case 's': std::snprintf(text, sizeof text, "sleep %d ms, alertable %d", int(c.a), int(c.b)); break;
    case 't': std::snprintf(text, sizeof text, "thread started, %s", c.b ? "the window its argument" : "another argument"); break;
    case 'r': std::snprintf(text, sizeof text, "thread returned %d", int(c.a)); break;
    case 'c': std::snprintf(text, sizeof text, "close %s", c.a == hThread ? "the thread's handle" : "another handle"); break;
    case 'd': std::snprintf(text, sizeof text, "delete %s", c.a == p.probe->hFont ? "the button's font" : "another object"); break;
    case 'x':
        std::snprintf(text, sizeof text, "copy, flags %d, context %s, %s", int(c.a), c.b ? "the window" : "another",
                      c.c ? "a cancel flag" : "no cancel flag");
        break;
    default: std::snprintf(text, sizeof text, "unknown entry '%c'", char(c.kind));
    }
    return text;
}

// Entries in compact form (text_compare.h); the bar's may be left out, for they may lag.
static void Record(const Program &p, const std::vector<Call> &calls, LONG_PTR hThread, bool barLeftOut)
{
    std::vector<std::string> entries;
    for (const Call &c : calls)
        if (!(barLeftOut && c.kind == 'P')) entries.push_back(EntryText(p, c, hThread));
    for (const std::string &line : Grouped(entries)) transcript.push_back(line);
}

static void RecordRun(const Program &p, const Run &run, bool barLeftOut)
{
    LONG_PTR hThread = 0;
    for (const Call &c : run.window)
        if (c.kind == 't') hThread = c.a;
    Line("worker:");
    Record(p, run.worker, hThread, false);
    Line(barLeftOut ? "window, bar left out (it may lag):" : "window:");
    Record(p, run.window, hThread, barLeftOut);
}

// A person at the window during the first run: each act, then the window must answer, keep its
// controls where they were, and be as the act left it.
static std::vector<std::string> person;

static DWORD WINAPI PersonAtWindow(void *param)
{
    const Program &p = *static_cast<const Program *>(param);
    for (int i = 0; i < 2500 && IsWindowEnabled(p.hButton); ++i) Sleep(2); // until the click
    RECT r;
    DWORD_PTR ignored;
    auto Act = [&](const char *what, bool sized) {
        bool answers = Ask(p.hWindow, WM_NULL, 0, 0, &ignored);
        GetWindowRect(p.hWindow, &r);
        person.push_back(std::string(what) + ": " + (IsZoomed(p.hWindow) ? "maximised" : IsIconic(p.hWindow) ? "minimised"
                         : "normal") + (sized ? "" : ", not as asked") + ", button at " + Place(p, p.hButton) +
                         ", bar at " + Place(p, p.hBar) + (answers ? ", answering" : ", not answering"));
    };
    auto Move = [&](int dx, int dy, int dw, int dh) {
        GetWindowRect(p.hWindow, &r);
        RECT want = {r.left + dx, r.top + dy, r.right + dx + dw, r.bottom + dy + dh};
        SetWindowPos(p.hWindow, nullptr, want.left, want.top, want.right - want.left, want.bottom - want.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(p.hWindow, &r);
        return EqualRect(&r, &want) != 0;
    };
    Act("resized larger", Move(0, 0, 100, 80));
    Act("resized smaller", Move(0, 0, -150, -120));
    const std::pair<WPARAM, const char *> commands[] = {
        {SC_MAXIMIZE, "maximised"}, {SC_RESTORE, "restored"}, {SC_MINIMIZE, "minimised"}, {SC_RESTORE, "restored"}};
    for (const auto &command : commands) Act(command.second, Ask(p.hWindow, WM_SYSCOMMAND, command.first, 0, &ignored));
    Act("moved", Move(60, 40, 0, 0));
    person.push_back(IsWindowEnabled(p.hButton) ? "all after the run" : "all during the run");
    return 0;
}

// Both files afterwards: exactly the job's bytes of "A", and opened with no sharing, so nobody holds them.
static void CheckFiles(const std::string &dir)
{
    for (const char *name : {"testfile.tmp", "testfile2.tmp"}) {
        HANDLE hFile = CreateFileA((dir + "\\" + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            Line("%s: cannot be opened with no sharing (error %lu)", name, GetLastError());
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
        Line("%s: %lld bytes, %s, held open by nobody", name, size,
             bad < 0 ? "all \"A\"" : ("not \"A\" at byte " + std::to_string(bad)).c_str());
    }
}

static void Retouch(const std::string &dir)
{
    auto Open = [&](const char *name) {
        return CreateFileA((dir + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE hScratch = Open("testfile.tmp"), hCopy = Open("testfile2.tmp");
    DWORD done = 0;
    LARGE_INTEGER at{};
    at.QuadPart = 500000000;
    bool ok = SetFilePointerEx(hScratch, at, nullptr, FILE_BEGIN) && WriteFile(hScratch, "Z", 1, &done, nullptr);
    at.QuadPart = 0;
    ok = ok && SetFilePointerEx(hScratch, at, nullptr, FILE_END);
    for (int n = 0; ok && n < 64; ++n) ok = WriteFile(hScratch, "spindlework tail", 16, &done, nullptr);
    at.QuadPart = 1000;
    ok = ok && SetFilePointerEx(hCopy, at, nullptr, FILE_BEGIN) && SetEndOfFile(hCopy);
    CloseHandle(hScratch), CloseHandle(hCopy);
    Line("between the runs, both files spoilt: %s", ok ? "done" : "failed");
}

// The console as the probe read it: each row's characters between bars, then its colours.
static void ShowConsole(const Program &p)
{
    const Probe &probe = *p.probe;
    const CONSOLE_SCREEN_BUFFER_INFO &info = probe.consoleInfo;
    if (!AskProbe(p, askLook) || !probe.consoleRead) {
        Line("console: not read");
        return;
    }
    Line("console: %d x %d, cursor at %d,%d, window rows %d to %d, columns %d to %d", info.dwSize.X, info.dwSize.Y,
         info.dwCursorPosition.X, info.dwCursorPosition.Y, info.srWindow.Top, info.srWindow.Bottom, info.srWindow.Left,
         info.srWindow.Right);
    for (int y = 0, width = info.dwSize.X; y < info.dwSize.Y; ++y) {
        std::vector<std::string> colours;
        for (int x = 0; x < width; ++x) colours.push_back("c: " + std::to_string(probe.consoleAttributes[y * width + x]));
        Line("|%s| colours%s", std::string(probe.consoleChars + y * width, size_t(width)).c_str(),
             Grouped(colours)[0].substr(2).c_str());
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
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <spindlework.exe> <working-dir> <expected-file> [options: see driver.cpp]\n", argv[0]);
        return 2;
    }
    std::string dir = WinPath(argv[2]), out, close, transcriptFile, refused;
    std::vector<size_t> chunks;
    int runs = 1, width = 0, height = 0, rows = 0;
    bool describe = false, handle = false, retouch = false, files = false;
    double stallMs = 60000;
    for (int i = 4; i < argc; ++i) {
        std::string a = argv[i], value = a.substr(a.find('=') + 1);
        if (a.rfind("--runs=", 0) == 0) runs = std::atoi(value.c_str());
        else if (a.rfind("--chunks=", 0) == 0)
            for (size_t at = 8; at != std::string::npos; at = a.find(',', at + 1)) chunks.push_back(std::atoll(&a[at + 1]));
        else if (a == "--close=writing" || a == "--close=copying" || a == "--close=pause") close = value;
        else if (a == "--stdout=pipe" || a == "--stdout=gone") out = value;
        else if (a.rfind("--console=", 0) == 0 && std::sscanf(value.c_str(), "%dx%d,%d", &width, &height, &rows) == 3) {}
        else if (a == "--describe") describe = true;
        else if (a == "--handle") handle = true;
        else if (a == "--retouch") retouch = true;
        else if (a == "--files") files = true;
        else if (a == "--shots") shotsDir = dir;
        else if (a.rfind("--stall=", 0) == 0) stallMs = 1000 * std::atof(value.c_str());
        else if (a.rfind("--transcript=", 0) == 0) transcriptFile = WinPath(value);
        else refused = "unknown option " + a;
    }
    if (chunks.empty()) chunks.push_back(1 << 20);
    // Options whose checks would vanish together: a held run has no end, files, console or pipe to look at.
    if (!close.empty() && (runs != 1 || files || retouch || handle || width || out == "pipe"))
        refused = "--close holds the one run for good: no --runs, --files, --retouch, --handle, --console or --stdout=pipe";
    if (retouch && runs < 2) refused = "--retouch spoils the files between runs: it needs --runs=2 or more";
    if (width && !out.empty()) refused = "--console is the standard output: not with --stdout";
    if (!refused.empty()) {
        std::fprintf(stderr, "e2e_driver: %s\n", refused.c_str());
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
    if (!started.empty()) Line("start: %s", started.c_str());
    else if (!AttachProbe(p)) Line("the probe: not recording in the program");
    else {
        std::printf("== started %s, the probe in\n", argv[1]);
        if (!shotsDir.empty()) Sleep(500), Shot(p.hWindow, "idle"); // painted first
        if (describe) Describe(p);
        if (width) {
            p.probe->consoleWidth = width, p.probe->consoleHeight = height, p.probe->consoleRows = rows;
            if (!AskProbe(p, askConsole)) Line("console: not given");
        }
        bool goOn = true;
        for (int n = 1; goOn && n <= runs; ++n) {
            if (n > 1 && retouch) Retouch(dir);
            size_t chunk = chunks[std::min(size_t(n - 1), chunks.size() - 1)];
            if (!AskProbe(p, askCopy, LPARAM(chunk))) Line("run %d: the copy stand-in not in place", n);
            p.probe->holdPost = close == "writing" ? 201 : close == "copying" ? 1010 : 0;
            p.probe->holdSleep = close == "pause" ? 1 : 0;
            HANDLE hPerson = handle && n == 1 ? CreateThread(nullptr, 0, PersonAtWindow, &p, 0, nullptr) : nullptr;
            Run run;
            FollowRun(p, run, stallMs, true, ShotWhenRunning);
            if (hPerson) WaitForSingleObject(hPerson, INFINITE), CloseHandle(hPerson);
            std::printf("== run %d followed%s%s\n", n, run.end.empty() ? "" : ": ", run.end.c_str());
            Line(close.empty() ? "run %d, copied in chunks of %zu bytes:" : "run %d, copied in chunks of %zu bytes, "
                 "the worker held at its %s:", n, chunk, close == "pause" ? "first pause" : close == "writing" ?
                 "201st post" : "1,010th post");
            RecordRun(p, run, !close.empty());
            if (!close.empty() && run.end != "held") Line("the worker was not held: %s", run.end.c_str());
            else if (close.empty() && !run.end.empty()) Line("%s", run.end.c_str()), goOn = false;
            for (const std::string &line : person) transcript.push_back(line);
        }
        if (p.probe->consoleWindow) Shot(HWND(p.probe->consoleWindow), "console");
        if (files) CheckFiles(dir);
        if (width) ShowConsole(p);
        std::vector<Call> calls;
        std::string how = CloseProgram(p, &calls);
        Line("closed, the window's calls (bar left out):");
        Record(p, calls, 0, true);
        Line("the program %s", how.c_str());
        if (close == "pause")
            for (const char *name : {"testfile.tmp", "testfile2.tmp"})
                if (GetFileAttributesA((dir + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES) Line("%s made", name);
    }
    if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(p.pi.hProcess, 1);
    if (hReader && WaitForSingleObject(hReader, 10000) == WAIT_OBJECT_0) {
        Line("standard output, a pipe, as it ended:");
        for (const std::string &line : Lines(pipeBytes)) transcript.push_back(line);
    } else if (hReader) {
        Line("standard output, a pipe: not ended 10 s after the program");
    }

    if (FILE *f = transcriptFile.empty() ? nullptr : std::fopen(transcriptFile.c_str(), "wb")) {
        for (const std::string &line : transcript) std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
    std::string difference = FirstDifference(ExpectedLines(WinPath(argv[3])), transcript);
    std::printf("%s the transcript is as %s says\n%s", difference.empty() ? "ok  " : "FAIL", argv[3], difference.c_str());
    failures += !difference.empty();
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
