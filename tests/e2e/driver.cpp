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

namespace {

int failures = 0;
thread_local const char *who = ""; // which program a check is about, when two run at once

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

const long long jobBytes = 1001LL * 1000000;

// -1 when there is no such file.
long long FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

bool Between(long long value, long long low, long long high) { return value >= low && value <= high; }

// A message to the program's window thread; false when it does not answer within 5 s.
bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result)
{
    return SendMessageTimeoutA(hWindow, msg, wp, lp, SMTO_NORMAL, 5000, result) != 0;
}

struct Program {
    PROCESS_INFORMATION pi{};
    HWND hWindow = nullptr, hButton = nullptr, hBar = nullptr;
    Probe *probe = nullptr; // shared with the probe in the program; null when it could not be put there
};

// Something asked of the probe (ProbeAsk); false when it was not done. Giving a console can
// take a while under emulation.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp = 0)
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

// Puts the probe in the program's process (see Probe) and reads the button's font.
void AttachProbe(Program &p)
{
    char name[64];
    ProbeMapName(name, p.pi.dwProcessId);
    HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Probe), name);
    auto *probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpyA(path + n, "e2e_probe.dll");
    HMODULE hProbeDll = LoadLibraryA(path);
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
        GetWindowRect(hChild, &cr);
        MapWindowPoints(nullptr, hWindow, reinterpret_cast<POINT *>(&cr), 2);
        Check(EqualRect(&cr, &want), "%s at %ld,%ld size %ld x %ld (%ld,%ld %ld x %ld)", what, cr.left, cr.top,
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

// The copy positions that the rules give for this run (--own-copy), null when the copy is
// the platform's and only their order is known.
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

enum class Close { no, writing, copying, pause };

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
            PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
            DWORD ended = WaitForSingleObject(p.pi.hProcess, 10000);
            DWORD code = 1;
            GetExitCodeProcess(p.pi.hProcess, &code);
            Check(ended == WAIT_OBJECT_0 && code == 0,
                  "closed during the %s (bar at %d): program %s, exit code %lu",
                  close == Close::writing ? "writing phase" : close == Close::copying ? "copy" : "first pause", s.pos,
                  ended == WAIT_OBJECT_0 ? "ended" : "still running after 10 s", code);
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

// --- Long use (--soak): after each run both files are checked and the program's own
// --- counts are read inside it; they must come back to what they were after the first run.
std::vector<Usage> usageAfterRun;         // index: run - 1
const LONGLONG privateGrowthBound = 1 << 20; // bytes over the first run's, at any later run

void AfterSoakRun(const Program &p, const std::string &dir, int run)
{
    CheckFile(dir + "\\testfile.tmp");
    CheckFile(dir + "\\testfile2.tmp");
    bool ok = AskProbe(p, askUsage);
    Check(ok, "run %d: the program's counts read inside it", run);
    usageAfterRun.push_back(ok ? p.probe->usage : Usage{});
}

void SoakReport()
{
    if (usageAfterRun.empty()) return;
    const Usage &first = usageAfterRun.front();
    std::string table = "after run | handles | GDI objects | USER objects | threads | private KiB\n";
    for (size_t i = 0; i < usageAfterRun.size(); ++i) {
        const Usage &u = usageAfterRun[i];
        char row[160];
        std::snprintf(row, sizeof row, "%9zu | %7ld | %11ld | %12ld | %7ld | %11lld\n", i + 1, u.handles, u.gdiObjects,
                      u.userObjects, u.threads, u.privateBytes / 1024);
        table += row;
    }
    std::printf("%s", table.c_str());
    std::printf("measured: handles by %s; GDI objects by %s; USER objects by %s; threads from the system's process "
                "list; private bytes as %s\n",
                first.handlesBy ? "trying each handle value (GetProcessHandleCount gives 0 here)" : "GetProcessHandleCount",
                first.gdiBy == 1   ? "the live entries of the GDI handle table (GetGuiResources gives 0 here)"
                : first.gdiBy == 2 ? "each handle index GetObjectType knows (GetGuiResources gives 0 here)"
                                   : "GetGuiResources",
                first.userBy ? "counting the program's windows (GetGuiResources gives 0 here)" : "GetGuiResources",
                first.privateBy ? "PagefileUsage (PrivateUsage gives 0 here)" : "PrivateUsage");
    // From the second run on, each count as after the first; the first run that differs.
    auto Steady = [&](const char *what, LONG Usage::*count) {
        size_t bad = 0;
        for (size_t i = 1; i < usageAfterRun.size() && !bad; ++i)
            if (usageAfterRun[i].*count != first.*count) bad = i + 1;
        Check(!bad && first.*count > 0, "%s after runs 2 to %zu as after run 1 (%ld%s%s)", what, usageAfterRun.size(),
              first.*count, bad ? "; differs after run " : "", bad ? std::to_string(bad).c_str() : "");
    };
    Steady("handles", &Usage::handles);
    Steady("GDI objects", &Usage::gdiObjects);
    Steady("USER objects", &Usage::userObjects);
    Steady("threads", &Usage::threads);
    LONGLONG most = first.privateBytes;
    for (const Usage &u : usageAfterRun) most = u.privateBytes > most ? u.privateBytes : most;
    Check(first.privateBytes > 0 && most - first.privateBytes <= privateGrowthBound,
          "private bytes grow at most %lld KiB past run 1's (%lld KiB; at most %lld KiB)", privateGrowthBound / 1024,
          first.privateBytes / 1024, most / 1024);
}

// --- A person at the window (--handle): while the first run goes on, the window is resized,
// --- maximised, minimised, restored and moved with the mouse and the caption buttons' commands,
// --- keys are pressed while the button is disabled and the bar is clicked. Nothing of it may move a
// --- control, stop the window answering, or start a second run; every size change repaints the
// --- whole client area.
void MouseTo(POINT at)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    SendInput(1, &in, sizeof in);
}

void MouseButton(DWORD flag)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flag;
    SendInput(1, &in, sizeof in);
}

// Presses at `from`, moves by dx, dy in ten steps of 15 ms, lets go: about a fifth of a second.
void Drag(POINT from, int dx, int dy)
{
    MouseTo(from);
    Sleep(30);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 10; ++step) {
        Sleep(15);
        MouseTo(POINT{from.x + dx * step / 10, from.y + dy * step / 10});
    }
    Sleep(30);
    MouseButton(MOUSEEVENTF_LEFTUP);
}

void PressKey(WORD key)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = key;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

std::string Place(const RECT &r)
{
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

bool ControlAt(const Program &p, HWND hChild, RECT want, RECT &got)
{
    GetWindowRect(hChild, &got);
    MapWindowPoints(nullptr, p.hWindow, reinterpret_cast<POINT *>(&got), 2);
    return EqualRect(&got, &want) != 0;
}

LONG sizeMessagesFrom, sizeDefaultsFrom; // the probe's counts when the act began

// The window's record from `from` on, for an act that took the client area from `before` to
// what it is now: the first paint at each new size (told by WM_SIZE, or seen in the paint
// itself) must have the whole client area to paint, and the size it ends at must get a paint
// (2 s at most). Also: each size and position message went on to the default processing.
void CheckRepaint(const Program &p, const char *what, LONG from, SIZE before, bool sizeChange)
{
    int changes = 0, told = 0, partial = 0;
    bool pending = false, done = false;
    std::string part; // the first paint that left some out: what it left out, of what
    SIZE size = before, painted{};
    RECT now;
    for (double t0 = NowMs(); !done; Sleep(20)) {
        for (LONG end = p.probe->windowCount; from < end; ++from) {
            const WindowEvent &e = p.probe->window[from];
            SIZE at = e.message == WM_SIZE ? SIZE{e.b, e.c} : SIZE{e.a, e.b};
            told += e.message == WM_SIZE;
            if (at.cx && at.cy && (at.cx != size.cx || at.cy != size.cy)) ++changes, pending = true;
            size = at;
            if (e.message != WM_PAINT) continue;
            if (pending && !e.c && !partial++)
                part = "; it left out " + Place(e.box) + " of " + std::to_string(e.a) + "x" + std::to_string(e.b);
            pending = false;
            painted = at;
        }
        GetClientRect(p.hWindow, &now);
        bool ends = now.right && now.bottom && (now.right != before.cx || now.bottom != before.cy);
        done = !pending && (!ends || (painted.cx == now.right && painted.cy == now.bottom));
        if (NowMs() - t0 > 2000) break;
    }
    if (sizeChange) Check(told > 0, "%s: the window is told its new size (%d WM_SIZE)", what, told);
    LONG got = p.probe->sizeMessages - sizeMessagesFrom, passed = p.probe->sizeDefaults - sizeDefaultsFrom;
    Check(got == passed, "%s: each size and position message the window got went on to DefWindowProcA (%ld of %ld)",
          what, passed, got);
    Check(done && !partial, "%s: the whole client area repainted after each size change (%d changes, %d painted "
          "in part%s%s)", what, changes, partial, part.c_str(), done ? "" : "; the last one not painted");
}

DWORD WINAPI PersonAtWindow(void *param)
{
    const Program &p = *static_cast<const Program *>(param);
    for (int i = 0; i < 2500 && IsWindowEnabled(p.hButton); ++i) Sleep(2); // until the click
    if (!p.probe) return 0;
    double clicked = NowMs();
    Sleep(100);
    RECT w, was, start;
    GetWindowRect(p.hWindow, &start);
    LONG mark = 0;
    DWORD_PTR answer = 0;
    RECT client;
    auto Begin = [&] {
        GetWindowRect(p.hWindow, &was);
        GetClientRect(p.hWindow, &client);
        mark = p.probe->windowCount;
        sizeMessagesFrom = p.probe->sizeMessages;
        sizeDefaultsFrom = p.probe->sizeDefaults;
    };
    // Waits for an act to show (2 s at most; a busy machine is slow to move windows), then
    // for the window to hold still for 60 ms. `w` is the window's rectangle then.
    auto Shows = [&](auto shown) {
        double t0 = NowMs();
        while (GetWindowRect(p.hWindow, &w), !shown() && NowMs() - t0 < 2000) Sleep(10);
        for (RECT before = w; NowMs() - t0 < 4000; before = w) {
            Sleep(60);
            GetWindowRect(p.hWindow, &w);
            if (EqualRect(&w, &before)) break;
        }
        return shown();
    };
    auto After = [&](const char *what, bool sizeChange) {
        Check(Ask(p.hWindow, WM_NULL, 0, 0, &answer), "%s: the window answers", what);
        RECT button, bar;
        bool inPlace = ControlAt(p, p.hButton, RECT{20, 20, 270, 170}, button);
        inPlace = ControlAt(p, p.hBar, RECT{20, 200, 270, 230}, bar) && inPlace;
        Check(inPlace, "%s: button at %s, bar at %s (20,20 250x150 and 20,200 250x30)", what, Place(button).c_str(),
              Place(bar).c_str());
        CheckRepaint(p, what, mark, SIZE{client.right, client.bottom}, sizeChange);
        Check(!IsWindowEnabled(p.hButton), "%s: still during the run (the button disabled)", what);
    };
    auto Command = [&](WPARAM command) { PostMessageA(p.hWindow, WM_SYSCOMMAND, command, 0); }; // as the caption buttons do
    auto Corner = [&] {
        GetWindowRect(p.hWindow, &w);
        return POINT{w.right - 2, w.bottom - 2};
    };
    auto Width = [](const RECT &r) { return r.right - r.left; };
    auto Height = [](const RECT &r) { return r.bottom - r.top; };

    Begin();
    Drag(Corner(), 100, 80);
    Check(Shows([&] { return Width(w) > Width(was) && Height(w) > Height(was); }),
          "resized larger with the mouse: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("resized larger", true);
    Begin();
    Drag(Corner(), -150, -120);
    Check(Shows([&] { return Width(w) < Width(start) && Height(w) < Height(start); }),
          "resized smaller with the mouse: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("resized smaller", true);
    RECT normal = w; // where restoring takes it back
    Begin();
    Command(SC_MAXIMIZE);
    Check(Shows([&] { return IsZoomed(p.hWindow) != 0; }), "maximised: %s", Place(w).c_str());
    After("maximised", true);
    Begin();
    Command(SC_RESTORE);
    Check(Shows([&] { return !IsZoomed(p.hWindow) && EqualRect(&w, &normal); }), "restored: %s (%s)",
          Place(w).c_str(), Place(normal).c_str());
    After("restored from maximised", true);
    normal = w;
    Begin();
    Command(SC_MINIMIZE);
    Check(Shows([&] { return IsIconic(p.hWindow) != 0; }), "minimised");
    After("minimised", false);
    Begin();
    Command(SC_RESTORE);
    Check(Shows([&] { return !IsIconic(p.hWindow) && EqualRect(&w, &normal); }), "restored from minimised: %s (%s)",
          Place(w).c_str(), Place(normal).c_str());
    After("restored from minimised", true);
    Begin();
    GetWindowRect(p.hWindow, &w);
    Drag(POINT{(w.left + w.right) / 2, w.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2}, 60,
         40);
    Check(Shows([&] {
              return w.left == was.left + 60 && w.top == was.top + 40 && Width(w) == Width(was) &&
                     Height(w) == Height(was);
          }),
          "moved by its caption: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("moved", false);

    // Keys while the button is disabled. A disabled window takes no keyboard focus (Wine
    // leaves it on the main window after the click): the probe tries to give it to the button,
    // and the keys go wherever the focus then is, as they would for a person.
    Begin();
    answer = AskProbe(p, askFocus);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(p.hWindow, nullptr), &thread);
    char focus[64] = "nothing";
    if (thread.hwndFocus) GetClassNameA(thread.hwndFocus, focus, sizeof focus);
    Check((thread.hwndFocus == p.hButton || thread.hwndFocus == p.hWindow) && GetForegroundWindow() == p.hWindow,
          "the window is in front, the keyboard focus on the %s (the disabled button %s it)", focus,
          answer ? "took" : "would not take");
    PressKey(VK_RETURN);
    Sleep(100);
    PressKey(VK_SPACE);
    Sleep(100);
    After("Enter and Space pressed", false);
    Begin();
    ClickMouse(p.hBar);
    Sleep(100);
    After("the bar clicked", false);
    std::printf("the acts took %.0f ms from the click\n", NowMs() - clicked);
    return 0;
}

// --- Two copies at once (--two): two programs in one folder, their buttons clicked 100 ms
// --- apart, then two programs in two folders. Both runs complete, both programs end with code 0,
// --- no other window (a crash dialog) appears, and the files are exact in every folder.
struct OwnWindow {
    DWORD processId;
    HWND hWindow;
};

BOOL CALLBACK FindOwnWindow(HWND hWindow, LPARAM param)
{
    auto *own = reinterpret_cast<OwnWindow *>(param);
    DWORD owner = 0;
    char cls[64] = "";
    GetWindowThreadProcessId(hWindow, &owner);
    GetClassNameA(hWindow, cls, sizeof cls);
    if (owner != own->processId || std::strcmp(cls, "QUILLBOXFRAME") || !IsWindowVisible(hWindow)) return TRUE;
    own->hWindow = hWindow;
    return FALSE;
}

bool StartProgram(const std::string &exe, const std::string &dir, Program &p)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &p.pi)) {
        Check(false, "start %s in %s (error %lu)", exe.c_str(), dir.c_str(), GetLastError());
        return false;
    }
    WaitForInputIdle(p.pi.hProcess, 60000);
    OwnWindow own{p.pi.dwProcessId, nullptr};
    for (int i = 0; i < 600 && !own.hWindow; ++i)
        if (EnumWindows(FindOwnWindow, LPARAM(&own))) Sleep(100);
    p.hWindow = own.hWindow;
    Check(p.hWindow != nullptr, "its window found (process %lu, in %s)", p.pi.dwProcessId, dir.c_str());
    return p.hWindow && CheckStatic(p);
}

BOOL CALLBACK ListOtherWindow(HWND hWindow, LPARAM param)
{
    auto *others = reinterpret_cast<std::string *>(param);
    char cls[64] = "", title[64] = "";
    GetClassNameA(hWindow, cls, sizeof cls);
    GetWindowTextA(hWindow, title, sizeof title);
    if (IsWindowVisible(hWindow) && std::strcmp(cls, "QUILLBOXFRAME"))
        *others += std::string(others->empty() ? "" : ", ") + cls + " \"" + title + "\"";
    return TRUE;
}

struct Follow {
    const Program *p;
    std::string dir;
};

DWORD WINAPI FollowSecond(void *param)
{
    const Follow &f = *static_cast<const Follow *>(param);
    who = "[B] ";
    Sleep(100);
    FollowRun(*f.p, 1, Close::no, false, f.dir);
    return 0;
}

void TwoPrograms(const std::string &exe, const std::string &dir)
{
    for (int apart = 0; apart < 2; ++apart) {
        std::string dirs[2] = {dir, dir};
        if (apart) {
            dirs[0] += "\\a";
            dirs[1] += "\\b";
            CreateDirectoryA(dirs[0].c_str(), nullptr);
            CreateDirectoryA(dirs[1].c_str(), nullptr);
        }
        std::printf("== two programs %s, their buttons clicked 100 ms apart\n", apart ? "in two folders" : "in one folder");
        Program p[2];
        const char *tags[2] = {"[A] ", "[B] "};
        bool started = true;
        for (int i = 0; i < 2; ++i) {
            who = tags[i];
            started = StartProgram(exe, dirs[i], p[i]) && started;
        }
        who = "";
        if (started) {
            Follow second{&p[1], dirs[1]};
            HANDLE hSecond = CreateThread(nullptr, 0, FollowSecond, &second, 0, nullptr);
            who = tags[0];
            FollowRun(p[0], 1, Close::no, false, dirs[0]);
            who = "";
            WaitForSingleObject(hSecond, INFINITE);
            CloseHandle(hSecond);
            std::string others;
            EnumWindows(ListOtherWindow, LPARAM(&others));
            Check(others.empty(), "no other window on the screen (no crash dialog)%s%s", others.empty() ? "" : ": ",
                  others.c_str());
            for (int i = 0; i <= apart; ++i) {
                CheckFile(dirs[i] + "\\testfile.tmp");
                CheckFile(dirs[i] + "\\testfile2.tmp");
            }
        }
        for (int i = 0; i < 2; ++i) {
            who = tags[i];
            if (p[i].hWindow) PostMessageA(p[i].hWindow, WM_CLOSE, 0, 0);
            DWORD ended = p[i].pi.hProcess ? WaitForSingleObject(p[i].pi.hProcess, 10000) : WAIT_FAILED, code = 1;
            if (p[i].pi.hProcess) GetExitCodeProcess(p[i].pi.hProcess, &code);
            Check(ended == WAIT_OBJECT_0 && code == 0, "closed: program %s, exit code %lu",
                  ended == WAIT_OBJECT_0 ? "ended" : "still running after 10 s", code);
            if (ended != WAIT_OBJECT_0 && p[i].pi.hProcess) TerminateProcess(p[i].pi.hProcess, 1);
            if (p[i].pi.hProcess) CloseHandle(p[i].pi.hProcess), CloseHandle(p[i].pi.hThread);
        }
        who = "";
        for (int i = 0; i < 2; ++i) { // 2 GB each: gone before the next case
            DeleteFileA((dirs[i] + "\\testfile.tmp").c_str());
            DeleteFileA((dirs[i] + "\\testfile2.tmp").c_str());
        }
    }
}

// --- The copy phase with the copy stand-in (--own-copy), its report lines and the console ---

// One check of a whole text against what it should be. On a mismatch both are printed from
// the line before the first difference (45 lines), CR and LF shown as \r and \n.
void CheckText(const std::string &what, const std::string &want, const std::string &got)
{
    Check(want == got, "%s (%zu bytes, %zu expected)", what.c_str(), got.size(), want.size());
    if (want == got) return;
    size_t at = 0, from, lines = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    for (from = at; from > 0 && !(want[from - 1] == '\n' && ++lines == 2); --from) {}
    auto Show = [&](const char *label, const std::string &text) {
        std::string shown;
        for (size_t k = from, lf = 0; k < text.size() && lf < 45; lf += text[k++] == '\n')
            shown += text[k] == '\r' ? std::string("\\r") : text[k] == '\n' ? std::string("\\n\n      ") : std::string(1, text[k]);
        std::printf("  %s from byte %zu:\n      %s\n", label, from, shown.c_str());
    };
    std::printf("  first difference at byte %zu\n", at);
    Show("expected", want);
    Show("actual", got);
}

// The copy stand-in on its own, against the documented CopyFileEx: a table of cases on a
// source of 2.5 MiB copied in 1 MiB chunks. The cases whose routine is never called also run
// against the platform's CopyFileExA, which must agree.
struct CopyCall {
    DWORD reason;
    long long total, done, streamSize, streamDone;
    DWORD stream;
    bool handles;
};

struct CopyCase {
    const char *name;
    const char *source;     // "full" (2.5 MiB), "empty" or "none"
    bool oldTarget;         // an older, longer target is there
    DWORD flags;
    int answerAt;           // the call that answers `answer`; the others PROGRESS_CONTINUE
    DWORD answer;
    int cancelAt;           // the call that sets the cancel flag (-1: none)
    BOOL result;
    DWORD error;            // after a failure
    const char *calls;      // the routine's calls: S (new stream) or C (chunk done) and the bytes so far
    const char *target;     // afterwards: "copy" of the source, "old", "none", or "part" (the first MiB)
};

const CopyCase copyCases[] = {
    {"copies in chunks, replacing a longer file", "full", true, 0, -1, 0, -1, TRUE, 0,
     "S0 C1048576 C2097152 C2621440", "copy"},
    {"an empty file: one call at 0 of 0", "empty", false, 0, -1, 0, -1, TRUE, 0, "S0", "copy"},
    {"source missing: fails before any call", "none", false, 0, -1, 0, -1, FALSE, ERROR_FILE_NOT_FOUND, "", "none"},
    {"COPY_FILE_FAIL_IF_EXISTS with a target there", "full", true, COPY_FILE_FAIL_IF_EXISTS, -1, 0, -1, FALSE,
     ERROR_FILE_EXISTS, "", "old"},
    {"PROGRESS_CANCEL deletes the copy", "full", true, 0, 1, PROGRESS_CANCEL, -1, FALSE, ERROR_REQUEST_ABORTED,
     "S0 C1048576", "none"},
    {"PROGRESS_STOP leaves the copy as far as it got", "full", false, 0, 1, PROGRESS_STOP, -1, FALSE,
     ERROR_REQUEST_ABORTED, "S0 C1048576", "part"},
    {"PROGRESS_QUIET: no more calls, the copy goes on", "full", false, 0, 1, PROGRESS_QUIET, -1, TRUE, 0,
     "S0 C1048576", "copy"},
    {"the cancel flag deletes the copy", "full", false, 0, -1, 0, 1, FALSE, ERROR_REQUEST_ABORTED, "S0 C1048576",
     "none"},
};

struct CopyRun {
    const CopyCase *c;
    BOOL cancel;
    std::vector<CopyCall> calls;
};

DWORD CALLBACK RecordCopyCall(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER streamSize,
                              LARGE_INTEGER streamDone, DWORD stream, DWORD reason, HANDLE hSource, HANDLE hTarget,
                              LPVOID data)
{
    auto *run = static_cast<CopyRun *>(data);
    int n = int(run->calls.size());
    run->calls.push_back({reason, total.QuadPart, done.QuadPart, streamSize.QuadPart, streamDone.QuadPart, stream,
                          hSource && hTarget && hSource != INVALID_HANDLE_VALUE && hTarget != INVALID_HANDLE_VALUE});
    if (n == run->c->cancelAt) run->cancel = TRUE;
    return n == run->c->answerAt ? run->c->answer : PROGRESS_CONTINUE;
}

std::string ReadAll(const std::string &path, bool *exists = nullptr)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (exists) *exists = hFile != INVALID_HANDLE_VALUE;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (hFile != INVALID_HANDLE_VALUE && ReadFile(hFile, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    return bytes;
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(hFile, bytes.data(), DWORD(bytes.size()), &put, nullptr);
    CloseHandle(hFile);
}

void CheckCopyStandIn(const std::string &dir)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpyA(path + n, "e2e_probe.dll");
    HMODULE hProbeDll = LoadLibraryA(path);
    using CopyFn = BOOL(WINAPI *)(LPCSTR, LPCSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD);
    auto standIn = hProbeDll ? reinterpret_cast<CopyFn>(reinterpret_cast<void *>(GetProcAddress(hProbeDll, "CopyWithProgress")))
                             : nullptr;
    Check(standIn != nullptr, "the copy stand-in CopyWithProgress in %s", path);
    if (!standIn) return;
    std::string source = dir + "\\stand-in-source.tmp", target = dir + "\\stand-in-target.tmp", full, old(3 << 20, 'o');
    for (int k = 0; k < (5 << 19); ++k) full += char('a' + k % 23);
    for (const CopyCase &c : copyCases) {
        for (CopyFn copy : {standIn, &CopyFileExA}) {
            if (copy == &CopyFileExA && *c.calls) continue; // Wine's calls no routine
            DeleteFileA(source.c_str());
            DeleteFileA(target.c_str());
            if (std::strcmp(c.source, "none")) WriteAll(source, std::strcmp(c.source, "full") ? "" : full);
            if (c.oldTarget) WriteAll(target, old);
            CopyRun run{&c, FALSE, {}};
            SetLastError(0);
            BOOL result = copy(source.c_str(), target.c_str(), RecordCopyCall, &run, &run.cancel, c.flags);
            DWORD error = result ? 0 : GetLastError();
            std::string calls;
            long long size = std::strcmp(c.source, "full") ? 0 : (long long)full.size();
            for (const CopyCall &k : run.calls) {
                bool sound = k.total == size && k.streamSize == size && k.streamDone == k.done && k.stream == 1 &&
                             k.handles && k.reason == (calls.empty() ? CALLBACK_STREAM_SWITCH : CALLBACK_CHUNK_FINISHED);
                calls += (calls.empty() ? "" : " ") + std::string(k.reason == CALLBACK_STREAM_SWITCH ? "S" : "C") +
                         std::to_string(k.done) + (sound ? "" : "(wrong arguments)");
            }
            bool exists = false;
            std::string after = ReadAll(target, &exists), wantTarget = !std::strcmp(c.target, "old") ? old
                : !std::strcmp(c.target, "part") ? full.substr(0, 1 << 20) : std::strcmp(c.source, "full") ? "" : full;
            bool targetOk = std::strcmp(c.target, "none") ? exists && after == wantTarget : !exists;
            Check(result == c.result && error == c.error && calls == c.calls && targetOk,
                  "%s copy: %s: result %d error %lu (%d %lu), calls \"%s\" (\"%s\"), target %s%s",
                  copy == standIn ? "stand-in" : "platform's", c.name, result, error, c.result, c.error, calls.c_str(),
                  c.calls, c.target, targetOk ? "" : " (not so)");
        }
    }
    DeleteFileA(source.c_str());
    DeleteFileA(target.c_str());
}

// What the copy progress rules give for one copy of total bytes in chunks of chunk bytes,
// with a call at 0 and one after every chunk: a report (a line and a bar position) at each
// call whose step (a fiftieth of the file) differs from the step of the last reported
// percentage. That percentage is rounded ties to even and carries over from run to run.
struct Report {
    long long done;
    int position;
};

std::vector<Report> RulesReports(long long total, long long chunk, int &lastPercent)
{
    std::vector<Report> reports;
    for (long long done = 0;; done = std::min(done + chunk, total)) {
        double ratio = double(done) / double(total);
        if (std::floor(ratio * 50.0) != std::floor(lastPercent / 2.0)) {
            lastPercent = int(std::nearbyint(ratio * 100.0));
            reports.push_back({done, int(std::nearbyint(lastPercent / 2.0 + 50.0))});
        }
        if (done == total) return reports;
    }
}

// The report lines as the writer's column and zone rules lay them out: a value, the zone
// fill (blanks to the next 14-column zone, or CR LF when that zone would end within 14
// columns of the line's end), the second value, CR LF. The column starts at -1 on a fresh
// plain output and at the cursor's on a console.
std::string RulesText(const std::vector<Report> &reports, long long total, int &column, int lineWidth)
{
    std::string text;
    auto Put = [&](const std::string &s) {
        text += s;
        size_t last = s.find_last_of("\r\n");
        unsigned next = last == std::string::npos ? unsigned(column) + unsigned(s.size()) : unsigned(s.size() - 1 - last);
        column = int(next % unsigned(lineWidth));
    };
    for (const Report &r : reports) {
        Put(" " + std::to_string(total));
        int zone = column / 14;
        Put(lineWidth >= 14 && 14 * (zone + 1) + 1 > lineWidth - 14 ? "\r\n" : std::string(14 - column % 14, ' '));
        Put(" " + std::to_string(r.done) + "\r\n");
    }
    return text;
}

// A console screen buffer as the writer's rules leave it, for text whose lines never reach
// the buffer's last column: characters go in at the cursor in colour 7; a line feed below
// the window's bottom row first moves the window down through the buffer, and once the
// window shows the last row, scrolls the whole content up, blanks in colour 7 coming in
// at the bottom.
struct Screen {
    int width = 0, height = 0, rows = 0; // --console
    std::string chars;
    std::vector<WORD> attributes;
    int x = 0, y = 0, top = 0;
};

void RulesConsole(Screen &s, const std::string &text)
{
    for (char c : text) {
        if (c == '\r') {
            s.x = 0;
        } else if (c == '\n') {
            s.x = 0;
            if (++s.y <= s.top + s.rows - 1) continue;
            if (s.top + s.rows < s.height) {
                ++s.top;
            } else {
                s.chars = s.chars.substr(size_t(s.width)) + std::string(size_t(s.width), ' ');
                s.attributes.erase(s.attributes.begin(), s.attributes.begin() + s.width);
                s.attributes.insert(s.attributes.end(), size_t(s.width), 7);
            }
            s.y = s.top + s.rows - 1;
        } else {
            s.chars[size_t(s.y * s.width + s.x)] = c;
            s.attributes[size_t(s.y * s.width + s.x)] = 7;
            ++s.x;
        }
    }
}

// A screen as text, one row a line: the characters, a blank, each cell's colour in hex.
std::string ScreenRows(int width, int height, const char *chars, const WORD *attributes)
{
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows += std::string(chars + y * width, size_t(width)) + " ";
        for (int x = 0; x < width; ++x) rows += attributes[y * width + x] < 16 ? "0123456789ABCDEF"[attributes[y * width + x]] : '?';
        rows += "\n";
    }
    return rows;
}

struct Reports {
    std::vector<long long> chunks; // --own-copy, one a run
    int lastPercent = 0;           // the copy routine's, as the rules carry it on
    int column = -1;               // the writer's, as the rules move it
    int lineWidth = 80;
    std::string text;              // all the report text the runs so far should have written
    std::vector<int> positions;    // this run's copy positions
    long long calls = 0;           // this run's progress calls
    LONG copiesBefore = 0, callsBefore = 0;
    Screen screen;
} reports;

// A pipe (--stdout=pipe) read on a thread of its own while the program runs.
struct PipeReader {
    HANDLE hPipe = nullptr;
    CRITICAL_SECTION lock;
    std::string bytes;
    volatile LONG ended = 0;
} pipeReader;

DWORD WINAPI ReadPipe(LPVOID)
{
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipeReader.hPipe, buffer, sizeof buffer, &got, nullptr) && got) {
        EnterCriticalSection(&pipeReader.lock);
        pipeReader.bytes.append(buffer, got);
        LeaveCriticalSection(&pipeReader.lock);
    }
    pipeReader.ended = 1;
    return 0;
}

std::string PipeBytes()
{
    EnterCriticalSection(&pipeReader.lock);
    std::string bytes = pipeReader.bytes;
    LeaveCriticalSection(&pipeReader.lock);
    return bytes;
}

void GiveConsole(const Program &p)
{
    Screen &s = reports.screen;
    p.probe->consoleWidth = s.width;
    p.probe->consoleHeight = s.height;
    p.probe->consoleRows = s.rows;
    s.chars.assign(size_t(s.width * s.height), '.');
    s.attributes.assign(size_t(s.width * s.height), 8);
    reports.column = 0; // the cursor's
    reports.lineWidth = s.width;
    Check(AskProbe(p, askConsole), "the program has a console as its standard output, a %dx%d buffer seeded with "
          "\".\", a window of %d rows", s.width, s.height, s.rows);
}

// Before a run: the stand-in in place with this run's chunk, and what the rules give for it.
void ExpectReports(const Program &p, int run)
{
    long long chunk = reports.chunks[std::min(size_t(run - 1), reports.chunks.size() - 1)];
    Check(AskProbe(p, askCopy, LPARAM(chunk)) && AskProbe(p, askLook),
          "run %d: the exe's CopyFileExA import points at the copy stand-in, %lld bytes a chunk", run, chunk);
    reports.copiesBefore = p.probe->copyCalls;
    reports.callsBefore = p.probe->progressCalls;
    reports.calls = (jobBytes + chunk - 1) / chunk + 1;
    std::vector<Report> rs = RulesReports(jobBytes, chunk, reports.lastPercent);
    reports.positions.clear();
    for (const Report &r : rs) reports.positions.push_back(r.position);
    copyPositions = &reports.positions;
    std::string text = RulesText(rs, jobBytes, reports.column, reports.lineWidth);
    reports.text += text;
    if (reports.screen.width) RulesConsole(reports.screen, text);
}

// After a run: the copy went through the stand-in, and standard output holds exactly the
// report lines of the runs so far.
void CheckReports(const Program &p, int run, const std::string &out)
{
    bool looked = AskProbe(p, askLook);
    const Probe &probe = *p.probe;
    Check(looked && probe.copyCalls - reports.copiesBefore == 1 && probe.progressCalls - reports.callsBefore == reports.calls &&
          probe.lastCopyResult, "run %d: one copy through the stand-in (%ld), %ld progress calls (%lld), succeeded (%ld)",
          run, probe.copyCalls - reports.copiesBefore, probe.progressCalls - reports.callsBefore, reports.calls,
          probe.lastCopyResult);
    std::string what = "run " + std::to_string(run) + ": " + std::to_string(reports.text.size()) +
                       " bytes of report lines as the rules give them, ";
    if (out == "pipe") {
        // The lines went into the pipe before the run ended; the reader may lag a little.
        for (int k = 0; k < 100 && PipeBytes().size() < reports.text.size(); ++k) Sleep(100);
        CheckText(what + "read from the pipe while the job ran", reports.text, PipeBytes());
    } else if (!out.empty() && out != "gone" && out != "none") {
        CheckText(what + "in " + out, reports.text, ReadAll(out));
    }
    const Screen &s = reports.screen;
    if (!s.width) return;
    const CONSOLE_SCREEN_BUFFER_INFO &info = probe.consoleInfo;
    const SMALL_RECT &w = info.srWindow;
    bool sized = probe.consoleRead && info.dwSize.X == s.width && info.dwSize.Y == s.height;
    Check(sized, "run %d: the console read, a %dx%d buffer (%dx%d)", run, info.dwSize.X, info.dwSize.Y, s.width, s.height);
    Check(info.dwCursorPosition.X == s.x && info.dwCursorPosition.Y == s.y, "run %d: console cursor at %d,%d (%d,%d)",
          run, info.dwCursorPosition.X, info.dwCursorPosition.Y, s.x, s.y);
    Check(w.Left == 0 && w.Top == s.top && w.Right == s.width - 1 && w.Bottom == s.top + s.rows - 1,
          "run %d: console window rows %d to %d, columns %d to %d (rows %d to %d, columns 0 to %d)", run, w.Top,
          w.Bottom, w.Left, w.Right, s.top, s.top + s.rows - 1, s.width - 1);
    if (sized)
        CheckText("run " + std::to_string(run) + ": the console's characters and colours, row by row",
                  ScreenRows(s.width, s.height, s.chars.data(), s.attributes.data()),
                  ScreenRows(s.width, s.height, probe.consoleChars, probe.consoleAttributes));
}

} // namespace

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
        else if (a == "--own-copy") reports.chunks = {1 << 20};
        else if (a.rfind("--own-copy=", 0) == 0)
            for (size_t at = 10; at != std::string::npos; at = a.find(',', at + 1))
                reports.chunks.push_back(std::atoll(a.c_str() + at + 1));
        else if (a.rfind("--console=", 0) == 0 &&
                 std::sscanf(a.c_str() + 10, "%dx%d,%d", &reports.screen.width, &reports.screen.height,
                             &reports.screen.rows) == 3) {}
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (files != "full" && files != "absent" && files != "skip") {
        std::fprintf(stderr, "unknown --files=%s\n", files.c_str());
        return 2;
    }

    if (reports.chunks.size()) CheckCopyStandIn(dir);
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
        pipeReader.hPipe = hPipeReader;
        InitializeCriticalSection(&pipeReader.lock);
        CloseHandle(CreateThread(nullptr, 0, ReadPipe, nullptr, 0, nullptr));
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
        if (reports.screen.width && p.probe) GiveConsole(p);
        for (int run = 1; alive && run <= (close != Close::no ? 1 : runs); ++run) {
            if (run > 1 && retouchBetween) Retouch(dir);
            if (reports.chunks.size() && p.probe) ExpectReports(p, run);
            HANDLE hPerson = handle && run == 1 ? CreateThread(nullptr, 0, PersonAtWindow, &p, 0, nullptr) : nullptr;
            alive = FollowRun(p, run, close, poke, dir);
            if (hPerson) WaitForSingleObject(hPerson, INFINITE), CloseHandle(hPerson);
            if (alive && soak) AfterSoakRun(p, dir, run);
            if (alive && reports.chunks.size() && p.probe) CheckReports(p, run, out);
        }
        if (soak) SoakReport();
        if (shotsDir.size() && alive && close == Close::no) AwaitShot("running");
        if (shotsDir.size() && alive && p.probe && p.probe->consoleWindow) {
            RequestWindowShot(HWND(p.probe->consoleWindow), "console");
            AwaitShot("console");
        }
        if (alive && close == Close::no) {
            if (files == "full") {
                CheckFile(dir + "\\testfile.tmp");
                CheckFile(dir + "\\testfile2.tmp");
            } else if (files == "absent") {
                Check(!Exists(dir + "\\testfile.tmp"), "no testfile.tmp");
                Check(!Exists(dir + "\\testfile2.tmp"), "no testfile2.tmp");
            }
            PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
            DWORD ended = WaitForSingleObject(p.pi.hProcess, 10000);
            DWORD code = 1;
            GetExitCodeProcess(p.pi.hProcess, &code);
            Check(ended == WAIT_OBJECT_0 && code == 0, "closed: program %s, exit code %lu",
                  ended == WAIT_OBJECT_0 ? "ended" : "still running after 10 s", code);
            for (int k = 0; out == "pipe" && k < 100 && !pipeReader.ended; ++k) Sleep(100);
            if (out == "pipe" && reports.chunks.size())
                CheckText(std::string("the pipe ended") + (pipeReader.ended ? "" : " (not within 10 s)") +
                          " with nothing after the report lines", reports.text, PipeBytes());
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
