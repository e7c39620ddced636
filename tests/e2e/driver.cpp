// End-to-end driver: starts spindlework.exe, finds its window the way any other
// program would, checks the window and its two controls, clicks the start button and
// follows the run on the bar and the button, checks the files, closes the window.
//
//   e2e_driver <spindlework.exe> <working-dir> [options]
//     --files=full|absent|skip  afterwards testfile.tmp and testfile2.tmp are each exactly
//                               1,001,000,000 bytes of "A" / do not exist / are not looked at
//                               (default full)
//     --runs=N                  click and follow N runs one after another (default 1)
//     --close=writing|copying   close the window during the first run's writing phase, or
//                               while its copy runs (seen from the files' sizes): the program
//                               ends with code 0 within 10 s, leaving the file being written
//                               short (the task is not waited for); no other file check
//     --limit=SECONDS           give up on a run after this long (default 900; liveness only)
//     --poke                    during each run, click the disabled button with the mouse
//                               (SendInput) now and then; no second run may start
//     --stdout=FILE|gone|none   start the program with FILE as its standard output and error;
//                               gone: a pipe whose reading end the driver closes as soon as the
//                               program has started; none: no standard handles at all
//     --retouch                 between runs, spoil what the run left: a "Z" at byte 500,000,000
//                               of testfile.tmp, a tail (retouchTail) appended to it, and
//                               testfile2.tmp cut to 1,000 bytes (the caller checks the files)
//     --fast                    part of the job's disk work fails at once (see FollowRun): the
//                               bar's samples need not show the climb to 50, and 100 may show
//                               for half a second only
//     --shots                   ask the calling script for screenshots: writes
//                               shot-<name>.req ("x y width height" of the window, screen
//                               pixels) into the working directory and waits for
//                               shot-<name>.done; names: idle, running, and console (the
//                               console's window after the last run, with --console)
//     --close=pause             close the window in the second before the job begins: the program
//                               ends with code 0 and neither file is made
//     --soak                    after each run, check both files and read the program's handle,
//                               GDI and USER object, thread and private-byte counts inside it;
//                               at the end print them as a table: from the second run on each
//                               count is as after the first, private bytes grow 1 MiB at most
//     --handle                  during the first run, resize, maximise, minimise, restore and
//                               move the window, press Enter and Space while the button is disabled,
//                               click the bar: the controls stay in place, the window answers,
//                               each size change repaints the whole client area
//     --two                     two programs in the working directory, their buttons clicked
//                               100 ms apart, then two in its subfolders a and b: both runs
//                               complete, both end with code 0, no other window shows, every
//                               folder's two files are exact
//     --own-copy[=BYTES,...]    before each run the probe points the exe's CopyFileExA at our
//                               copy stand-in (copy_stand_in.cpp; Wine's own never calls the
//                               progress routine), moving BYTES a chunk (one figure per run,
//                               the last for the rest; default 1048576). The stand-in is first
//                               checked on its own, and after each run: the bar's copy
//                               positions in the window's record and the report lines on
//                               standard output (--stdout=FILE or pipe, --console) are
//                               exactly what the copy progress and writer rules give
//     --stdout=pipe             standard output to a pipe that the driver reads as the job runs
//     --console=WxH,ROWS        before the first click the probe gives the program a console
//                               as its standard output: a screen buffer W columns by H rows,
//                               seeded with "." in colour 8, a window of ROWS rows, colour 7
// Unix paths (/...) are taken as paths on Wine's Z: drive. e2e_probe.dll (probe.cpp) must
// sit beside the driver: brought into the program's process by a
// brief hook, it reads the button's font and records every change the window makes to its
// button (WM_ENABLE) and bar (PBM_SETPOS), so each run is also checked message by message.
// The window must answer (WM_NULL, PBM_GETPOS) within 5 s throughout.
// Prints one line per check and the runs' timelines; exit code 0 when all passed.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "probe.h"
#include "driver.h"


int failures = 0;
thread_local const char *who = "";

// One line per check, written whole: checks come from more than one thread.
void Check(bool ok, const char *fmt, ...)
{
    char text[4096];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    std::printf("%s %s%s\n", ok ? "ok  " : "FAIL", who, text);
    std::fflush(stdout);
    if (!ok) __atomic_add_fetch(&failures, 1, __ATOMIC_SEQ_CST);
}

std::string WinPath(std::string p)
{
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

double NowMs()
{
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * double(t.QuadPart) / double(freq.QuadPart);
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// -1 when there is no such file.
long long FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

bool Between(long long value, long long low, long long high) { return value >= low && value <= high; }

bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result)
{
    return SendMessageTimeoutA(hWindow, msg, wp, lp, SMTO_NORMAL, 5000, result) != 0;
}

// Something asked of the probe (ProbeAsk); false when it was not done. Giving a console can
// take a while under emulation.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp)
{
    DWORD_PTR done = 0;
    return p.probe && SendMessageTimeoutA(p.hWindow, RegisterWindowMessageA(askName), WPARAM(what), lp, SMTO_NORMAL,
                                          120000, &done) && done;
}

struct BarSample {
    double ms;
    int pos;
    bool enabled;
};

// Bar position and button state as one consistent pair: the program sets both in one
// message handler, so a pair counts when the position read before and after the button
// state agree (after many tries of a bar that never holds still, the last pair).
// False when the program does not answer, the window itself (WM_NULL) or the bar.
bool TakeSample(const Program &p, BarSample &s)
{
    DWORD_PTR ignored;
    if (!Ask(p.hWindow, WM_NULL, 0, 0, &ignored)) return false;
    for (int tries = 0; tries < 100; ++tries) {
        DWORD_PTR before = 0, after = 0;
        if (!Ask(p.hBar, PBM_GETPOS, 0, 0, &before)) return false;
        bool enabled = IsWindowEnabled(p.hButton) != 0;
        if (!Ask(p.hBar, PBM_GETPOS, 0, 0, &after)) return false;
        s = {NowMs(), int(after), enabled};
        if (before == after) break;
    }
    return true;
}

std::string shotsDir; // working directory when screenshots are asked for

void RequestWindowShot(HWND hWindow, const char *name)
{
    if (shotsDir.empty()) return;
    RECT r;
    GetWindowRect(hWindow, &r);
    std::string req = shotsDir + "\\shot-" + name + ".req", tmp = req + ".tmp";
    if (FILE *f = std::fopen(tmp.c_str(), "w")) {
        std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(f);
        MoveFileA(tmp.c_str(), req.c_str());
    }
}

void RequestShot(const Program &p, const char *name) { RequestWindowShot(p.hWindow, name); }

bool ShotTaken(const char *name) { return Exists(shotsDir + "\\shot-" + name + ".done"); }

void AwaitShot(const char *name)
{
    if (shotsDir.empty()) return;
    for (int i = 0; i < 200 && !ShotTaken(name); ++i) Sleep(100);
    Check(ShotTaken(name), "screenshot '%s' taken", name);
}

// Closes the window as its close box would and waits up to 10 s for the program to end;
// true when it ended with code 0. how says which, for the check's line.
bool CloseProgram(const Program &p, std::string &how)
{
    if (p.hWindow) PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
    DWORD ended = WaitForSingleObject(p.pi.hProcess, 10000), code = 1;
    GetExitCodeProcess(p.pi.hProcess, &code);
    how = std::string(ended == WAIT_OBJECT_0 ? "ended" : "still running after 10 s") + ", exit code " +
          std::to_string(code);
    return ended == WAIT_OBJECT_0 && code == 0;
}

void ClickMouse(HWND hButton)
{
    RECT r;
    GetWindowRect(hButton, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

// e2e_probe.dll from beside the driver; path gets where it was looked for.
HMODULE LoadProbeDll(char (&path)[MAX_PATH])
{
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpyA(path + n, "e2e_probe.dll");
    return LoadLibraryA(path);
}

// Puts the probe in the program's process (see Probe) and reads the button's font.
void AttachProbe(Program &p)
{
    char name[64];
    ProbeMapName(name, p.pi.dwProcessId);
    HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Probe), name);
    auto *probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
    char path[MAX_PATH];
    HMODULE hProbeDll = LoadProbeDll(path);
    auto proc = hProbeDll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(GetProcAddress(hProbeDll, "probeHook")))
                          : nullptr;
    HHOOK hHook = proc && probe
                      ? SetWindowsHookExA(WH_CALLWNDPROC, proc, hProbeDll, GetWindowThreadProcessId(p.hWindow, nullptr))
                      : nullptr;
    DWORD_PTR ignored;
    if (hHook) Ask(p.hWindow, RegisterWindowMessageA(probeName), WPARAM(p.hBar), LPARAM(p.hButton), &ignored);
    if (hHook) UnhookWindowsHookEx(hHook);
    Check(probe && probe->recording, "probe in the program, following the button and the bar (%s)", path);
    if (probe && probe->recording) p.probe = probe; // the view and the mapping stay until the driver ends
}

// 1 with lf filled, 2 when the button has no font, 0 when the probe got no answer.
int ButtonFont(const Program &p, LOGFONTA &lf)
{
    if (!p.probe) return 0;
    lf = p.probe->font;
    return p.probe->fontState;
}

bool SameFont(const LOGFONTA &a, const LOGFONTA &b)
{
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
           a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic &&
           a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
           a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
           a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily &&
           !std::strncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE);
}

bool ControlAt(const Program &p, HWND hChild, RECT want, RECT &got)
{
    GetWindowRect(hChild, &got);
    MapWindowPoints(nullptr, p.hWindow, reinterpret_cast<POINT *>(&got), 2);
    return EqualRect(&got, &want) != 0;
}

bool CheckStatic(Program &p)
{
    HWND hWindow = p.hWindow;
    char text[256];
    GetClassNameA(hWindow, text, sizeof text);
    Check(std::strcmp(text, "QUILLBOXFRAME") == 0, "window class \"%s\"", text);
    GetWindowTextA(hWindow, text, sizeof text);
    Check(std::strcmp(text, "main window") == 0, "window title \"%s\"", text);
    RECT r;
    GetWindowRect(hWindow, &r);
    Check(r.right - r.left == 315 && r.bottom - r.top == 300, "window outer size %ld x %ld (315 x 300)",
          r.right - r.left, r.bottom - r.top);
    DWORD style = GetWindowLongA(hWindow, GWL_STYLE), exStyle = GetWindowLongA(hWindow, GWL_EXSTYLE);
    // WS_OVERLAPPEDWINDOW as created, made visible; the system adds WS_CLIPSIBLINGS.
    Check(style == (WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS), "window style 0x%08lX (0x%08lX)",
          style, DWORD(WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS));
    Check((exStyle & ~DWORD(WS_EX_WINDOWEDGE)) == 0, "window extended style 0x%08lX (only WS_EX_WINDOWEDGE)",
          exStyle);
    Check(GetMenu(hWindow) == nullptr, "no menu");
    DWORD classStyle = GetClassLongA(hWindow, GCL_STYLE);
    Check(classStyle == (CS_HREDRAW | CS_VREDRAW), "class style 0x%lX (CS_HREDRAW | CS_VREDRAW)", classStyle);

    int children = 0;
    for (HWND hChild = GetWindow(hWindow, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        ++children;
        GetClassNameA(hChild, text, sizeof text);
        if (!lstrcmpiA(text, "Button")) p.hButton = hChild;
        else if (!lstrcmpiA(text, "msctls_progress32")) p.hBar = hChild;
    }
    Check(children == 2 && p.hButton && p.hBar, "two child windows, a button and a progress bar (%d children)",
          children);
    if (!p.hButton || !p.hBar) return false;
    AttachProbe(p);

    auto CheckChild = [&](HWND hChild, const char *what, const char *cls, const char *caption, int id, DWORD wantStyle,
                          RECT want) {
        GetClassNameA(hChild, text, sizeof text);
        Check(std::strcmp(text, cls) == 0, "%s class \"%s\"", what, text);
        GetWindowTextA(hChild, text, sizeof text);
        Check(std::strcmp(text, caption) == 0, "%s text \"%s\"", what, text);
        Check(GetDlgCtrlID(hChild) == id, "%s id %d (%d)", what, GetDlgCtrlID(hChild), id);
        DWORD s = GetWindowLongA(hChild, GWL_STYLE);
        Check(s == wantStyle, "%s style 0x%08lX (0x%08lX)", what, s, wantStyle);
        Check(GetWindowLongA(hChild, GWL_EXSTYLE) == 0, "%s extended style 0x%08lX (0)", what,
              DWORD(GetWindowLongA(hChild, GWL_EXSTYLE)));
        RECT cr;
        bool at = ControlAt(p, hChild, want, cr); // before the arguments below read cr
        Check(at, "%s at %ld,%ld size %ld x %ld (%ld,%ld %ld x %ld)", what, cr.left, cr.top,
              cr.right - cr.left, cr.bottom - cr.top, want.left, want.top, want.right - want.left,
              want.bottom - want.top);
    };
    CheckChild(p.hButton, "button", "Button", "Start time consuming task!", 1,
               WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, RECT{20, 20, 270, 170});
    CheckChild(p.hBar, "bar", "msctls_progress32", "", 0, WS_CHILD | WS_VISIBLE, RECT{20, 200, 270, 230});
    Check(IsWindowEnabled(p.hButton) != 0, "button enabled");

    // The button's font against the system's message font.
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = 340;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0);
    const LOGFONTA &want = metrics.lfMessageFont;
    LOGFONTA lf{};
    int font = ButtonFont(p, lf);
    if (font == 1)
        Check(SameFont(lf, want), "button font \"%s\" height %ld weight %ld charset %d quality %d (message font \"%s\" "
              "height %ld weight %ld charset %d quality %d)", lf.lfFaceName, lf.lfHeight, lf.lfWeight, lf.lfCharSet,
              lf.lfQuality, want.lfFaceName, want.lfHeight, want.lfWeight, want.lfCharSet, want.lfQuality);
    else
        Check(false, "button font: %s", font == 2 ? "the button has none (WM_GETFONT gives 0)" : "the probe got no answer");

    DWORD_PTR low = 99, high = 0, pos = 99;
    bool answered = Ask(p.hBar, PBM_GETRANGE, TRUE, 0, &low) && Ask(p.hBar, PBM_GETRANGE, FALSE, 0, &high) &&
                    Ask(p.hBar, PBM_GETPOS, 0, 0, &pos);
    Check(answered && low == 0 && high == 100, "bar range %d to %d (0 to 100)", int(low), int(high));
    Check(answered && pos == 0, "bar position %d (0)", int(pos));
    return true;
}

const std::vector<int> *copyPositions = nullptr;

// The window's own record of one run (events from..to of the probe), in order: button
// disabled, bar 0, the writing phase's 1,001 positions index / 20.0 rounded ties to even,
// the copy's positions rising within 50 to 100 (none under Wine, whose copy service never
// calls the progress routine; exactly copyPositions when known), 100, button enabled, bar 0;
// nothing else.
void CheckRecord(const Program &p, int run, LONG from, LONG to)
{
    std::vector<std::pair<char, int>> ev; // 'B' button enabled (1) or disabled (0), 'P' bar position
    for (LONG n = from; n < to; ++n) {
        const Event &e = p.probe->events[n];
        ev.push_back({e.message == WM_ENABLE ? 'B' : 'P', int(e.value)});
    }
    size_t i = 0;
    auto Take = [&](char kind, int low, int high) {
        bool ok = i < ev.size() && ev[i].first == kind && ev[i].second >= low && ev[i].second <= high;
        if (ok) ++i;
        return ok;
    };
    bool ok = Take('B', 0, 0) && Take('P', 0, 0);
    for (int index = 0; ok && index <= 1000; ++index) {
        int want = int(std::nearbyint(index / 20.0));
        ok = Take('P', want, want);
    }
    int copies = 0;
    for (size_t k = 0; copyPositions && ok && k < copyPositions->size(); ++k, ++copies)
        ok = Take('P', (*copyPositions)[k], (*copyPositions)[k]);
    for (int last = 50; !copyPositions && ok && ev.size() - i > 3 && Take('P', last, 100); ++copies)
        last = ev[i - 1].second;
    bool room = to < LONG(sizeof p.probe->events / sizeof p.probe->events[0]); // else it stopped recording
    ok = ok && Take('P', 100, 100) && Take('B', 1, 1) && Take('P', 0, 0) && i == ev.size() && room;
    std::string around;
    for (size_t k = i < 3 ? 0 : i - 3; !ok && k < ev.size() && k < i + 3; ++k)
        around += (k == i ? " [" : " ") + std::string(1, ev[k].first) + std::to_string(ev[k].second) + (k == i ? "]" : "");
    if (!ok && i == ev.size()) around += " [end]";
    Check(ok, "run %d: the window's record: button off, bar 0, the 1,001 writing positions, %d copy positions%s, 100, "
          "button on, bar 0 (%zu events%s%s%s)", run, copies, copyPositions ? " (exactly the rules')" : "", ev.size(),
          room ? "" : "; the record is full", ok ? "" : "; first wrong one in brackets:", around.c_str());
}

// Between runs (--retouch): spoils what the run left, so that the files after the next
// run show whether it rewrote the scratch file in place and replaced the copy.
const char retouchTail[] = "spindlework tail"; // appended 64 times

void Retouch(const std::string &dir)
{
    bool ok = true;
    auto Open = [&](const char *name) {
        return CreateFileA((dir + "\\" + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    };
    HANDLE hScratch = Open("testfile.tmp");
    DWORD done = 0;
    LARGE_INTEGER at{};
    at.QuadPart = 500000000;
    ok = hScratch != INVALID_HANDLE_VALUE && SetFilePointerEx(hScratch, at, nullptr, FILE_BEGIN) &&
         WriteFile(hScratch, "Z", 1, &done, nullptr);
    at.QuadPart = 0;
    ok = ok && SetFilePointerEx(hScratch, at, nullptr, FILE_END);
    for (int n = 0; ok && n < 64; ++n) ok = WriteFile(hScratch, retouchTail, sizeof retouchTail - 1, &done, nullptr);
    if (hScratch != INVALID_HANDLE_VALUE) CloseHandle(hScratch);
    HANDLE hCopy = Open("testfile2.tmp");
    at.QuadPart = 1000;
    ok = ok && hCopy != INVALID_HANDLE_VALUE && SetFilePointerEx(hCopy, at, nullptr, FILE_BEGIN) && SetEndOfFile(hCopy);
    if (hCopy != INVALID_HANDLE_VALUE) CloseHandle(hCopy);
    Check(ok, "between runs: a \"Z\" at byte 500,000,000 of testfile.tmp, a tail of 64 \"%s\" after it, "
          "testfile2.tmp cut to 1,000 bytes", retouchTail);
}

// Clicks the button and follows one run until the button is back, or until the window
// is closed mid-run. Returns false when the program stopped answering.
double limitMs = 900000; // liveness only: the whole run, also under emulation
bool fastDisk = false;   // --fast

bool FollowRun(const Program &p, int run, Close close, bool poke, const std::string &dir)
{
    std::vector<BarSample> line;
    DWORD_PTR ignored;
    LONG from = p.probe ? p.probe->count : 0;
    double t0 = NowMs();
    bool clicked = Ask(p.hButton, BM_CLICK, 0, 0, &ignored);
    Check(clicked, "run %d: click answered", run);
    BarSample s{};
    if (!clicked || !TakeSample(p, s)) return false;
    line.push_back(s);
    Check(!s.enabled, "run %d: button disabled at once", run);

    bool running = true, shotAsked = false, done = false, disabledSeen = !s.enabled, moved = false;
    size_t end = 0; // the sample that ended the run: button enabled, bar at 0
    int lastPoke = 0;
    while (NowMs() - t0 < limitMs) {
        Sleep(2);
        if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_OBJECT_0) {
            Check(false, "run %d: the program ended during the run", run);
            return false;
        }
        if (!TakeSample(p, s)) {
            DWORD code = 0;
            if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(p.pi.hProcess, &code))
                Check(false, "run %d: the program ended during the run, exit code 0x%lX", run, code);
            else
                Check(false, "run %d: the window stopped answering (5 s)", run);
            return false;
        }
        const BarSample &last = line.back();
        if (s.pos != last.pos || s.enabled != last.enabled) line.push_back(s);
        disabledSeen |= !s.enabled;
        moved |= s.pos != 0;
        if (running && s.enabled && s.pos == 0 && (disabledSeen || moved)) {
            running = false;
            done = true;
            end = line.size() - 1;
        }
        // Settled: a second with no change after the run (looked at for 5 s at most).
        if (!running && (s.ms - line.back().ms > 1000 || s.ms - line[end].ms > 5000)) break;
        if (running && !shotAsked && run == 1 && s.pos >= 20) {
            RequestShot(p, "running");
            shotAsked = true;
        }
        if (running && poke && s.pos >= lastPoke + 10 && s.pos < 100) {
            lastPoke = s.pos;
            ClickMouse(p.hButton);
        }
        // Where the worker is comes from the files, not the bar: on a busy machine the window
        // can lag the worker by most of the writing phase.
        bool closeNow = (close == Close::writing && Between(FileSize(dir + "\\testfile.tmp"), 1, jobBytes / 4)) ||
                        (close == Close::copying && Between(FileSize(dir + "\\testfile2.tmp"), 0, jobBytes / 2)) ||
                        (close == Close::pause && !moved && s.ms - t0 >= 400);
        if (running && closeNow) {
            std::string how;
            bool closed = CloseProgram(p, how); // before the line reads how
            Check(closed, "closed during the %s (bar at %d): program %s",
                  close == Close::writing ? "writing phase" : close == Close::copying ? "copy" : "first pause", s.pos,
                  how.c_str());
            // Ending without waiting for the task leaves the file being written short.
            std::string cut = dir + (close == Close::copying ? "\\testfile2.tmp" : "\\testfile.tmp");
            long long size = FileSize(cut);
            Check(size < jobBytes, "the task was not waited for: %s left at %lld bytes", cut.c_str(), size);
            if (close == Close::pause)
                Check(!Exists(dir + "\\testfile.tmp") && !Exists(dir + "\\testfile2.tmp"),
                      "closed before the job began: neither file was made");
            return true;
        }
    }
    if (close != Close::no) Check(false, "run %d: the window was never closed mid-run (bar never at the right place)", run);

    // The timeline: milliseconds since the click, bar position; the button's state as
    // '-' (disabled) or '+' (enabled) wherever it changes.
    double start = line.front().ms;
    std::string timeline = std::string(who) + "run " + std::to_string(run) + " timeline (ms:position):";
    for (size_t i = 0; i < line.size(); ++i) {
        bool changed = i == 0 || line[i].enabled != line[i - 1].enabled;
        char step[64];
        std::snprintf(step, sizeof step, "%s%.0f:%d%s", i % 12 ? " " : "\n  ", line[i].ms - start, line[i].pos,
                      changed ? (line[i].enabled ? "+" : "-") : "");
        timeline += step;
    }
    std::printf("%s\n", timeline.c_str());

    Check(done, "run %d: the button came back within %.0f s", run, limitMs / 1000);
    if (!done) return true;
    size_t k = 0;
    while (!line[k].enabled) ++k; // the sample where the button came back
    bool rising = true;
    int distinctWriting = 0, firstMove = -1, first100 = -1;
    for (size_t i = 1; i < k; ++i) {
        if (line[i].pos < line[i - 1].pos) rising = false;
        if (line[i].pos > 0 && line[i].pos < 50) ++distinctWriting;
        if (line[i].pos > 0 && firstMove < 0) firstMove = int(i);
        if (line[i].pos == 100 && first100 < 0) first100 = int(i);
    }
    auto At = [&](int i) { return i < 0 ? -1.0 : line[size_t(i)].ms - start; };
    bool saw50 = false;
    for (size_t i = 0; i < k; ++i) saw50 |= line[i].pos == 50;
    Check(rising, "run %d: the bar never goes back while the button is disabled", run);
    Check(firstMove < 0 || At(firstMove) >= 800, "run %d: the bar stays at 0 for about a second (first move at %.0f ms)",
          run, At(firstMove));
    // When writes fail at once (--fast) the worker posts the writing phase's 1,001 positions
    // within milliseconds, and 100 right after them; the window works through them in some
    // tens of milliseconds (more on a busy machine), too fast for these samples. When only
    // the copy fails at once, 50 shows for a few milliseconds before 100. The window's record
    // (CheckRecord) has every position all the same. And since the worker's last second
    // starts while the window is still catching up, 100 shows for that much less than a second.
    // A copy that reports (--own-copy) moves the bar on from 50 at once: the record shows it.
    if (!fastDisk)
        Check(distinctWriting >= 10 && (saw50 || copyPositions), "run %d: the bar climbs through the writing phase to "
              "50 (%d steps below 50)", run, distinctWriting);
    // With a copy that reports (--own-copy), under emulation the window can fall behind the
    // worker by most of a second, and then show 100 only briefly or not at all between two
    // samples: there the record stands for 100 and its place, and its second goes unmeasured.
    Check((first100 >= 0 || copyPositions) && (first100 < 0 || size_t(first100) == k - 1),
          "run %d: the bar reaches 100 and stays there until the end", run);
    if (!copyPositions)
        Check(first100 >= 0 && At(int(k)) - At(first100) >= (fastDisk ? 500 : 800),
              "run %d: 100 held for about a second (%.0f ms)", run, At(int(k)) - At(first100));
    Check(line[k].pos == 0, "run %d: the button comes back together with the bar at 0 (bar at %d)", run,
          line[k].pos);
    Check(end + 1 == line.size(), "run %d: nothing changes in the second after the run (%zu more changes)", run,
          line.size() - end - 1);
    if (p.probe) CheckRecord(p, run, from, p.probe->count);
    return true;
}

void CheckFiles(const std::string &dir)
{
    CheckFile(dir + "\\testfile.tmp");
    CheckFile(dir + "\\testfile2.tmp");
}

void CheckFile(const std::string &path)
{
    const long long want = jobBytes;
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        Check(false, "%s exists", path.c_str());
        return;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(hFile, &size);
    const DWORD chunk = 4 << 20;
    std::vector<char> buf(chunk), as(chunk, 'A');
    long long offset = 0, bad = -1;
    DWORD got = 0;
    while (bad < 0 && ReadFile(hFile, buf.data(), chunk, &got, nullptr) && got > 0) {
        if (std::memcmp(buf.data(), as.data(), got) != 0)
            for (DWORD i = 0; i < got && bad < 0; ++i)
                if (buf[i] != 'A') bad = offset + i;
        offset += got;
    }
    CloseHandle(hFile);
    Check(size.QuadPart == want, "%s is %lld bytes (%lld)", path.c_str(), (long long)size.QuadPart, want);
    if (bad >= 0) Check(false, "%s holds only \"A\" (not at offset %lld)", path.c_str(), bad);
    else Check(offset == size.QuadPart, "%s holds only \"A\" (%lld bytes read)", path.c_str(), offset);
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <spindlework.exe> <working-dir> [--files=full|absent|skip] [--runs=N]"
                             " [--close=writing|copying] [--limit=SECONDS] [--poke] [--stdout=FILE|gone|none]"
                             " [--retouch] [--fast] [--shots] [--close=pause] [--soak] [--handle] [--two]"
                             " [--own-copy[=BYTES,...]] [--console=WxH,ROWS]\n", argv[0]);
        return 2;
    }
    std::string exe = WinPath(argv[1]), dir = WinPath(argv[2]), files = "full", out;
    int runs = 1;
    Close close = Close::no;
    bool poke = false, retouchBetween = false;
    bool soak = false, handle = false, two = false;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--files=", 0) == 0) files = a.substr(8);
        else if (a.rfind("--runs=", 0) == 0) runs = std::atoi(a.c_str() + 7);
        else if (a == "--close=writing") close = Close::writing;
        else if (a == "--close=copying") close = Close::copying;
        else if (a == "--close=pause") close = Close::pause;
        else if (a == "--soak") soak = true;
        else if (a == "--handle") handle = true;
        else if (a == "--two") two = true;
        else if (a == "--poke") poke = true;
        else if (a.rfind("--limit=", 0) == 0) limitMs = 1000.0 * std::atof(a.c_str() + 8);
        else if (a.rfind("--stdout=", 0) == 0) out = a.substr(9) == "gone" || a.substr(9) == "none" || a.substr(9) == "pipe"
                                                     ? a.substr(9) : WinPath(a.substr(9));
        else if (a == "--retouch") retouchBetween = true;
        else if (a == "--fast") fastDisk = true;
        else if (a == "--shots") shotsDir = dir;
        else if (TakeReportOption(a)) {}
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (files != "full" && files != "absent" && files != "skip") {
        std::fprintf(stderr, "unknown --files=%s\n", files.c_str());
        return 2;
    }

    if (OwnCopy()) CheckCopyStandIn(dir);
    Check(FindWindowA("QUILLBOXFRAME", nullptr) == nullptr, "no spindlework window open before the start");
    if (two) {
        TwoPrograms(exe, dir);
        std::printf("%s: %d check%s failed\n", failures ? "FAILED" : "PASSED", failures, failures == 1 ? "" : "s");
        return failures ? 1 : 0;
    }
    Program p;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    HANDLE hOutFile = nullptr, hPipeReader = nullptr; // the program's standard output, the pipe's other end
    if (!out.empty()) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        if (out == "gone" || out == "pipe") {
            CreatePipe(&hPipeReader, &hOutFile, &sa, 0);
            SetHandleInformation(hPipeReader, HANDLE_FLAG_INHERIT, 0);
        } else if (out != "none") {
            hOutFile = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        }
        Check(out == "none" || (hOutFile && hOutFile != INVALID_HANDLE_VALUE), "standard output for the program: %s",
              out == "none" ? "none at all" : out == "gone" ? "a pipe whose reader goes at the start"
              : out == "pipe" ? "a pipe the driver reads" : out.c_str());
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = out == "none" ? nullptr : GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = si.hStdError = out == "none" ? nullptr : hOutFile;
    }
    std::string cmd = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, !out.empty(), 0, nullptr, dir.c_str(), &si,
                        &p.pi)) {
        Check(false, "start %s in %s (error %lu)", exe.c_str(), dir.c_str(), GetLastError());
        return 1;
    }
    if (hOutFile && hOutFile != INVALID_HANDLE_VALUE) CloseHandle(hOutFile);
    if (hPipeReader && out == "pipe") {
        StartPipeReader(hPipeReader);
    } else if (hPipeReader) {
        CloseHandle(hPipeReader); // the reader has gone: writes to the pipe now fail
    }

    // The window as any client finds it: by class and title, once the program waits for input.
    WaitForInputIdle(p.pi.hProcess, 60000);
    for (int i = 0; i < 600 && !(p.hWindow && IsWindowVisible(p.hWindow)); ++i) {
        p.hWindow = FindWindowA("QUILLBOXFRAME", "main window");
        if (!p.hWindow || !IsWindowVisible(p.hWindow)) Sleep(100);
    }
    DWORD owner = 0;
    if (p.hWindow) GetWindowThreadProcessId(p.hWindow, &owner);
    Check(p.hWindow && owner == p.pi.dwProcessId, "window \"main window\" of class QUILLBOXFRAME found");
    if (p.hWindow && CheckStatic(p)) {
        Sleep(500); // let it paint
        RequestShot(p, "idle");
        AwaitShot("idle");
        bool alive = true;
        if (WantsConsole() && p.probe) GiveConsole(p);
        for (int run = 1; alive && run <= (close != Close::no ? 1 : runs); ++run) {
            if (run > 1 && retouchBetween) Retouch(dir);
            if (OwnCopy() && p.probe) ExpectReports(p, run);
            HANDLE hPerson = handle && run == 1 ? CreateThread(nullptr, 0, PersonAtWindow, &p, 0, nullptr) : nullptr;
            alive = FollowRun(p, run, close, poke, dir);
            if (hPerson) WaitForSingleObject(hPerson, INFINITE), CloseHandle(hPerson);
            if (alive && soak) AfterSoakRun(p, dir, run);
            if (alive && OwnCopy() && p.probe) CheckReports(p, run, out);
        }
        if (soak) SoakReport();
        if (shotsDir.size() && alive && close == Close::no) AwaitShot("running");
        if (shotsDir.size() && alive && p.probe && p.probe->consoleWindow) {
            RequestWindowShot(HWND(p.probe->consoleWindow), "console");
            AwaitShot("console");
        }
        if (alive && close == Close::no) {
            if (files == "full") {
                CheckFiles(dir);
            } else if (files == "absent") {
                Check(!Exists(dir + "\\testfile.tmp"), "no testfile.tmp");
                Check(!Exists(dir + "\\testfile2.tmp"), "no testfile2.tmp");
            }
            std::string how;
            bool closed = CloseProgram(p, how); // before the line reads how
            Check(closed, "closed: program %s", how.c_str());
            if (out == "pipe" && OwnCopy()) CheckPipeEnd();
        }
    }
    if (WaitForSingleObject(p.pi.hProcess, 0) != WAIT_OBJECT_0) {
        Check(false, "the program is still running at the end; ending it");
        TerminateProcess(p.pi.hProcess, 1);
        WaitForSingleObject(p.pi.hProcess, 10000);
    }
    CloseHandle(p.pi.hThread);
    CloseHandle(p.pi.hProcess);
    std::printf("%s: %d check%s failed\n", failures ? "FAILED" : "PASSED", failures, failures == 1 ? "" : "s");
    return failures ? 1 : 0;
}
