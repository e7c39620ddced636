// End-to-end driver: starts spindlework.exe, finds its window the way any other program would,
// checks the window and its two controls, clicks the start button and follows each run through
// the probe's record (probe.h) to its end, checks the files, closes the window.
//
//   e2e_driver <spindlework.exe> <working-dir> [options]
//     --files=full|absent|skip  afterwards testfile.tmp and testfile2.tmp are each exactly
//                               1,001,000,000 bytes of "A", held open by nobody / do not exist /
//                               are not looked at (default full)
//     --runs=N                  click and follow N runs one after another (default 1)
//     --close=writing|copying|pause  hold the worker in the first run at its 200th block, in its
//                               copy (with --own-copy), or in its first pause, and close the window
//                               there: the program ends with code 0 within 10 s without it
//     --stall=SECONDS           fail a run when nothing new happens for this long (default 60)
//     --stdout=FILE|pipe|gone|none  the program's standard output and error: a file; a pipe the
//                               driver reads while the job runs; a pipe whose reader is gone at the
//                               start; no standard handles at all
//     --retouch                 between runs, spoil what the run left: a "Z" at byte 500,000,000
//                               of testfile.tmp, a tail (retouchTail) appended to it, and
//                               testfile2.tmp cut to 1,000 bytes (the calling script checks them)
//     --shots                   screenshots by the calling script: writes shot-<name>.req ("x y
//                               width height" of the window) into the working directory and waits
//                               for shot-<name>.done; idle, running, and console (with --console)
//     --soak                    after each run, check both files and read the program's counts
//                               inside it; at the end, from the second run on each count is as
//                               after the first, private bytes grow 1 MiB at most
//     --handle                  during the first run, resize, maximise, minimise, restore and move
//                               the window: the controls stay in place, the window answers
//     --own-copy[=BYTES,...]    the exe's CopyFileExA copies through our copy stand-in
//                               (copy_stand_in.cpp; Wine's own never calls the progress routine),
//                               BYTES a chunk (one figure per run, the last for the rest; default
//                               1 MiB): the copy positions and the report lines (file, pipe,
//                               console) must be exactly what the copy progress and writer rules give
//     --console=WxH,ROWS        the program gets a console as its standard output: a W x H screen
//                               buffer seeded with "." in colour 8, a window of ROWS rows, colour 7
// Unix paths (/...) are taken as paths on Wine's Z: drive. e2e_probe.dll must sit beside the
// driver. The window must answer (WM_NULL) within 5 s throughout.
// Prints one line per check; exit code 0 when all passed.
#include <windows.h>
#include <commctrl.h>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"
#include "probe.h"

int failures = 0;

void Check(bool ok, const char *fmt, ...)
{
    char text[4096];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", text);
    std::fflush(stdout);
    failures += !ok;
}

// One check of two sequences as a whole; on a mismatch both are shown around the first difference.
void CheckSequence(const std::string &what, const std::vector<std::string> &want, const std::vector<std::string> &got)
{
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    Check(want == got, "%s (%zu entries, %zu expected)", what.c_str(), got.size(), want.size());
    for (size_t i = at < 3 ? 0 : at - 3; want != got && i < at + 4 && (i < want.size() || i < got.size()); ++i)
        std::printf("  #%zu  expected: %s\n        actual:   %s\n", i, i < want.size() ? want[i].c_str() : "(none)",
                    i < got.size() ? got[i].c_str() : "(none)");
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

bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result)
{
    return SendMessageTimeoutA(hWindow, msg, wp, lp, SMTO_NORMAL, 5000, result) != 0;
}

// Giving a console can take a while under emulation.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp)
{
    DWORD_PTR done = 0;
    return p.probe && SendMessageTimeoutA(p.hWindow, RegisterWindowMessageA(askName), WPARAM(what), lp, SMTO_NORMAL,
                                          120000, &done) && done;
}

std::string shotsDir; // the working directory when screenshots are asked for

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

void AwaitShot(const char *name)
{
    if (shotsDir.empty()) return;
    std::string done = shotsDir + "\\shot-" + name + ".done";
    for (int i = 0; i < 200 && !Exists(done); ++i) Sleep(100);
    Check(Exists(done), "screenshot '%s' taken", name);
}

// The probe's record from `from` on, each entry as the expected sequences write it: the window
// thread's and the other threads' (the worker's) apart. Stops at a slot still being filled.
struct Record {
    std::vector<std::string> window, worker;
    LONG next = 0;
    int lastBar = 0;
    bool returned = false, marked = false;
};

LONG_PTR threadHandle; // the last worker thread's handle, as CreateThread gave it

void ReadRecord(const Program &p, Record &r)
{
    const Probe &probe = *p.probe;
    for (; r.next < probe.count && r.next < LONG(sizeof probe.calls / sizeof probe.calls[0]); ++r.next) {
        const Call &c = probe.calls[r.next];
        char text[160];
        switch (c.kind) {
        case 0: return;
        case 'B': std::snprintf(text, sizeof text, "button %s", c.a ? "enabled" : "disabled"); break;
        case 'P': std::snprintf(text, sizeof text, "bar %d", int(c.a)), r.lastBar = int(c.a); break;
        case 'p':
            std::snprintf(text, sizeof text, "post to %s 0x%X %d %d", HWND(c.window) == p.hWindow ? "the window" : "another",
                          unsigned(c.a), int(c.b), int(c.c));
            break;
        case 's': std::snprintf(text, sizeof text, "sleep %d %d", int(c.a), int(c.b)); break;
        case 't': std::snprintf(text, sizeof text, "thread started%s", c.b ? " with the window" : ""); break;
        case 'r': std::snprintf(text, sizeof text, "thread returned %d", int(c.a)), r.returned = true; break;
        case 'c': std::snprintf(text, sizeof text, "close %s", c.a && c.a == threadHandle ? "the thread" : "a handle"); break;
        case 'd': std::snprintf(text, sizeof text, "delete %s", c.a == probe.hFont ? "the font" : "an object"); break;
        case 'x':
            std::snprintf(text, sizeof text, "copy flags %d%s%s", int(c.a), c.b ? " with the window" : "",
                          c.c ? " with a cancel flag" : "");
            break;
        case 'm': std::snprintf(text, sizeof text, "marker"), r.marked = true; break;
        default: std::snprintf(text, sizeof text, "unknown call '%c'", char(c.kind));
        }
        if (c.kind == 't') threadHandle = c.a;
        (c.thread == p.windowThread ? r.window : r.worker).push_back(text);
    }
}

// Closes the window as its close box would and waits up to 10 s for the program to end;
// true when it ended with code 0. how says which, for the check's line. On the way out the
// window deletes the button's font, and asks nothing else of the system through its imports.
bool CloseProgram(const Program &p, std::string &how)
{
    Record r;
    if (p.probe) r.next = p.probe->count;
    if (p.hWindow) PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
    DWORD ended = WaitForSingleObject(p.pi.hProcess, 10000), code = 1;
    GetExitCodeProcess(p.pi.hProcess, &code);
    how = std::string(ended == WAIT_OBJECT_0 ? "ended" : "still running after 10 s") + ", exit code " +
          std::to_string(code);
    std::vector<std::string> calls; // the bar may still be catching up with a worker held mid-run
    if (p.probe) ReadRecord(p, r);
    for (const std::string &e : r.window)
        if (e.rfind("bar ", 0) != 0) calls.push_back(e);
    if (p.probe) CheckSequence("on closing: the window's calls", {"delete the font"}, calls);
    return ended == WAIT_OBJECT_0 && code == 0;
}

// e2e_probe.dll from beside the driver; path gets where it was looked for.
HMODULE LoadProbeDll(char (&path)[MAX_PATH])
{
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpyA(path + n, "e2e_probe.dll");
    return LoadLibraryA(path);
}

// Puts the probe in the program's process (see Probe).
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
    Check(probe && probe->recording, "probe in the program, following the controls and the imports (%s)", path);
    if (probe && probe->recording) p.probe = probe; // the view and the mapping stay until the driver ends
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
    // WS_OVERLAPPEDWINDOW as created, made visible in the normal state, although the driver
    // started the program minimised; the system adds WS_CLIPSIBLINGS.
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
    if (!p.probe) return false;
    const Probe &probe = *p.probe;
    Check(probe.classBrush == COLOR_BTNFACE + 1 && probe.classCursor == probe.arrowCursor &&
          probe.classIcon == probe.applicationIcon && probe.classExtra == 0,
          "class background %ld (%d), the arrow cursor %s, the application icon %s, extra bytes %ld", long(probe.classBrush),
          COLOR_BTNFACE + 1, probe.classCursor == probe.arrowCursor ? "yes" : "no",
          probe.classIcon == probe.applicationIcon ? "yes" : "no", probe.classExtra);

    auto CheckChild = [&](HWND hChild, const char *what, const char *cls, const char *caption, int id, DWORD wantStyle,
                          RECT want) {
        GetClassNameA(hChild, text, sizeof text);
        std::string got = text;
        GetWindowTextA(hChild, text, sizeof text);
        RECT cr;
        bool at = ControlAt(p, hChild, want, cr);
        DWORD s = GetWindowLongA(hChild, GWL_STYLE), ex = GetWindowLongA(hChild, GWL_EXSTYLE);
        bool sameInstance = GetWindowLongPtrA(hChild, GWLP_HINSTANCE) == GetWindowLongPtrA(hWindow, GWLP_HINSTANCE);
        Check(got == cls && !std::strcmp(text, caption) && GetDlgCtrlID(hChild) == id && s == wantStyle && !ex && at &&
              sameInstance, "%s: class \"%s\", text \"%s\", id %d, style 0x%08lX, extended 0x%lX, at %ld,%ld size "
              "%ld x %ld, %s instance (wanted %s, \"%s\", %d, 0x%08lX, 0, %ld,%ld %ld x %ld, the window's)", what,
              got.c_str(), text, GetDlgCtrlID(hChild), s, ex, cr.left, cr.top, cr.right - cr.left, cr.bottom - cr.top,
              sameInstance ? "the window's" : "another", cls, caption, id, wantStyle, want.left, want.top,
              want.right - want.left, want.bottom - want.top);
    };
    CheckChild(p.hButton, "button", "Button", "Start time consuming task!", 1,
               WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, RECT{20, 20, 270, 170});
    CheckChild(p.hBar, "bar", "msctls_progress32", "", 0, WS_CHILD | WS_VISIBLE, RECT{20, 200, 270, 230});

    // The button's font against the system's message font.
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = 340;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0);
    const LOGFONTA &want = metrics.lfMessageFont, &lf = probe.font;
    Check(probe.fontState == 1 && !std::memcmp(&lf, &want, offsetof(LOGFONTA, lfFaceName)) &&
          !std::strncmp(lf.lfFaceName, want.lfFaceName, LF_FACESIZE),
          "button font \"%s\" height %ld weight %ld (%s): the message font \"%s\" height %ld weight %ld",
          lf.lfFaceName, lf.lfHeight, lf.lfWeight, probe.fontState == 2 ? "the button has none" : "as read",
          want.lfFaceName, want.lfHeight, want.lfWeight);

    DWORD_PTR low = 99, high = 0, pos = 99;
    bool answered = Ask(p.hBar, PBM_GETRANGE, TRUE, 0, &low) && Ask(p.hBar, PBM_GETRANGE, FALSE, 0, &high) &&
                    Ask(p.hBar, PBM_GETPOS, 0, 0, &pos);
    Check(answered && low == 0 && high == 100 && pos == 0, "bar range %d to %d, position %d (0 to 100, 0)", int(low),
          int(high), int(pos));
    // Only the button's click starts a run: a command with its id but another notification does not.
    DWORD_PTR ignored;
    LONG before = probe.count;
    Ask(hWindow, WM_COMMAND, MAKEWPARAM(1, BN_DOUBLECLICKED), LPARAM(p.hButton), &ignored);
    Check(IsWindowEnabled(p.hButton) && probe.count == before,
          "button enabled, also after a command with its id and BN_DOUBLECLICKED (%ld calls recorded)",
          probe.count - before);
    return failures == 0;
}

// The writing phase's positions: index / 20 to the nearest integer, a half going to the even one.
int WritingPosition(int index)
{
    int whole = index / 20, part = index % 20;
    return whole + (part > 10 || (part == 10 && whole % 2 == 1));
}

const std::vector<int> *copyPositions = nullptr;
LONG stallMs = 60000;

// Clicks the button and follows one run through the probe's record until the window has
// handled the worker's last message, then checks the window's and the worker's records whole.
// With a hold, follows it until the worker is held there, and then closes the window.
// Returns false when the program stopped answering or ended.
bool FollowRun(const Program &p, int run, Close close, const std::string &dir)
{
    Record r;
    r.next = p.probe->count;
    p.probe->holdPost = close == Close::writing ? 201 : close == Close::copying ? 1010 : 0;
    p.probe->holdSleep = close == Close::pause ? 1 : 0;
    DWORD_PTR ignored;
    Check(Ask(p.hButton, BM_CLICK, 0, 0, &ignored) && !IsWindowEnabled(p.hButton), "run %d: click answered, "
          "the button disabled at once", run);
    bool shot = run != 1, marking = false;
    std::string waited = "the worker's end";
    for (double last = NowMs(); !r.marked; Sleep(5)) {
        LONG next = r.next;
        if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_OBJECT_0 || !Ask(p.hWindow, WM_NULL, 0, 0, &ignored)) {
            Check(false, "run %d: the program %s during the run", run,
                  WaitForSingleObject(p.pi.hProcess, 0) == WAIT_OBJECT_0 ? "ended" : "stopped answering (5 s)");
            return false;
        }
        ReadRecord(p, r);
        if (!shot && r.lastBar >= 20) RequestWindowShot(p.hWindow, "running"), shot = true;
        if (r.returned && !marking) { // the marker is handled after everything the worker posted
            PostMessageA(p.hWindow, RegisterWindowMessageA(askName), askMark, 0);
            marking = true, waited = "the window to handle what the worker posted";
        }
        if (p.probe->held) {
            std::string how, cut = dir + (close == Close::copying ? "\\testfile2.tmp" : "\\testfile.tmp");
            bool closed = CloseProgram(p, how); // before the line reads how
            long long size = close == Close::pause ? 0 : FileSize(cut); // a pause leaves no file (checked later)
            Check(closed && size >= 0 && size < jobBytes, "with the worker held in its %s, the window closed: "
                  "program %s; %s left at %lld bytes", close == Close::writing ? "writing" : close == Close::copying ?
                  "copy" : "first pause", how.c_str(), close == Close::pause ? "nothing" : cut.c_str(), size);
            return false;
        }
        if (r.next != next) last = NowMs();
        if (NowMs() - last > stallMs) {
            Check(false, "run %d: nothing new for %ld s while waiting for %s; the window's record ends \"%s\", the "
                  "worker's \"%s\"%s", run, stallMs / 1000, waited.c_str(), r.window.empty() ? "" : r.window.back().c_str(),
                  r.worker.empty() ? "" : r.worker.back().c_str(), r.next == LONG(sizeof p.probe->calls /
                  sizeof p.probe->calls[0]) ? " (the record is full)" : "");
            return false;
        }
    }
    // The worker posts 0, pauses, posts a position per block, copies (the copy routine posting
    // its positions), posts 100, pauses, posts WM_TASKDONE and returns 0. The window shows each
    // position and gives the button back with the bar at 0, closing the thread's handle.
    std::vector<std::string> window = {"button disabled", "thread started with the window"},
                             worker = {"post to the window 0x401 0 0", "sleep 1000 0"};
    std::vector<int> positions = {0};
    for (int index = 0; index <= 1000; ++index) positions.push_back(WritingPosition(index));
    size_t writing = positions.size();
    if (copyPositions) positions.insert(positions.end(), copyPositions->begin(), copyPositions->end());
    positions.push_back(100);
    for (size_t i = 0; i < positions.size(); ++i) {
        if (i == writing) worker.push_back("copy flags 0 with the window");
        if (i > 0) worker.push_back("post to the window 0x401 " + std::to_string(positions[i]) + " 0");
        window.push_back("bar " + std::to_string(positions[i]));
    }
    for (const char *w : {"sleep 1000 0", "post to the window 0x402 0 0", "thread returned 0"}) worker.push_back(w);
    for (const char *w : {"button enabled", "bar 0", "close the thread", "marker"}) window.push_back(w);
    CheckSequence("run " + std::to_string(run) + ": the worker's calls", worker, r.worker);
    CheckSequence("run " + std::to_string(run) + ": the window's record", window, r.window);
    return true;
}

void CheckFiles(const std::string &dir)
{
    CheckFile(dir + "\\testfile.tmp");
    CheckFile(dir + "\\testfile2.tmp");
}

// Opened with no sharing: nobody else may still hold it open.
void CheckFile(const std::string &path)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        Check(false, "%s opened, with no sharing (error %lu)", path.c_str(), GetLastError());
        return;
    }
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
    Check(bad < 0 && offset == jobBytes, "%s is %lld bytes of \"A\" (%lld)%s", path.c_str(), offset, jobBytes,
          bad < 0 ? "" : (", not at offset " + std::to_string(bad)).c_str());
}

// Between runs (--retouch): spoils what the run left, so that the files after the next
// run show whether it rewrote the scratch file in place and replaced the copy.
const char retouchTail[] = "spindlework tail"; // appended 64 times

void Retouch(const std::string &dir)
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
    for (int n = 0; ok && n < 64; ++n) ok = WriteFile(hScratch, retouchTail, sizeof retouchTail - 1, &done, nullptr);
    at.QuadPart = 1000;
    ok = ok && SetFilePointerEx(hCopy, at, nullptr, FILE_BEGIN) && SetEndOfFile(hCopy);
    CloseHandle(hScratch), CloseHandle(hCopy);
    Check(ok, "between runs: a \"Z\" at byte 500,000,000 of testfile.tmp, a tail of 64 \"%s\" after it, "
          "testfile2.tmp cut to 1,000 bytes", retouchTail);
}

// Starts the program minimised, as a launcher may ask: it shows its window in the normal state all the same.
bool StartProgram(const std::string &exe, const std::string &dir, const std::string &out, Program &p)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINNOACTIVE;
    HANDLE hOut = nullptr, hReader = nullptr; // the program's standard output, a pipe's other end
    if (!out.empty()) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        if (out == "gone" || out == "pipe") {
            CreatePipe(&hReader, &hOut, &sa, 0);
            SetHandleInformation(hReader, HANDLE_FLAG_INHERIT, 0);
        } else if (out != "none") {
            hOut = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        }
        Check(out == "none" || (hOut && hOut != INVALID_HANDLE_VALUE), "standard output for the program: %s",
              out == "none" ? "none at all" : out == "gone" ? "a pipe whose reader goes at the start"
              : out == "pipe" ? "a pipe the driver reads" : out.c_str());
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdInput = out == "none" ? nullptr : GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = si.hStdError = hOut;
    }
    std::string cmd = "\"" + exe + "\"";
    bool started = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, !out.empty(), 0, nullptr, dir.c_str(), &si,
                                  &p.pi);
    Check(started, "start %s in %s (error %lu)", exe.c_str(), dir.c_str(), started ? 0 : GetLastError());
    if (hOut && hOut != INVALID_HANDLE_VALUE) CloseHandle(hOut);
    if (hReader && out == "pipe") StartPipeReader(hReader);
    else if (hReader) CloseHandle(hReader); // the reader has gone: writes to the pipe now fail
    if (!started) return false;
    // The window as any client finds it: by class and title, once the program waits for input.
    WaitForInputIdle(p.pi.hProcess, 60000);
    for (int i = 0; i < 600 && !(p.hWindow && IsWindowVisible(p.hWindow)); ++i) {
        p.hWindow = FindWindowA("QUILLBOXFRAME", "main window");
        if (!p.hWindow || !IsWindowVisible(p.hWindow)) Sleep(100);
    }
    DWORD owner = 0;
    if (p.hWindow) p.windowThread = GetWindowThreadProcessId(p.hWindow, &owner);
    Check(p.hWindow && owner == p.pi.dwProcessId, "window \"main window\" of class QUILLBOXFRAME found");
    return p.hWindow && CheckStatic(p);
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <spindlework.exe> <working-dir> [options: see driver.cpp]\n", argv[0]);
        return 2;
    }
    std::string exe = WinPath(argv[1]), dir = WinPath(argv[2]), files = "full", out;
    int runs = 1;
    Close close = Close::no;
    bool retouchBetween = false, soak = false, handle = false;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--files=", 0) == 0) files = a.substr(8);
        else if (a.rfind("--runs=", 0) == 0) runs = std::atoi(a.c_str() + 7);
        else if (a == "--close=writing") close = Close::writing;
        else if (a == "--close=copying") close = Close::copying;
        else if (a == "--close=pause") close = Close::pause;
        else if (a.rfind("--stall=", 0) == 0) stallMs = 1000 * std::atol(a.c_str() + 8);
        else if (a == "--soak") soak = true;
        else if (a == "--handle") handle = true;
        else if (a.rfind("--stdout=", 0) == 0) out = a.find_first_of("/\\", 9) == std::string::npos ? a.substr(9)
                                                                                               : WinPath(a.substr(9));
        else if (a == "--retouch") retouchBetween = true;
        else if (a == "--shots") shotsDir = dir;
        else if (!TakeReportOption(a)) {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }

    if (OwnCopy()) CheckCopyStandIn(dir);
    Check(FindWindowA("QUILLBOXFRAME", nullptr) == nullptr, "no spindlework window open before the start");
    Program p;
    if (StartProgram(exe, dir, out, p)) {
        if (!shotsDir.empty()) Sleep(500); // let it paint for the picture
        RequestWindowShot(p.hWindow, "idle");
        AwaitShot("idle");
        if (WantsConsole()) GiveConsole(p);
        bool alive = true;
        for (int run = 1; alive && run <= runs; ++run) {
            if (run > 1 && retouchBetween) Retouch(dir);
            if (OwnCopy()) ExpectReports(p, run);
            HANDLE hPerson = handle && run == 1 ? CreateThread(nullptr, 0, PersonAtWindow, &p, 0, nullptr) : nullptr;
            alive = FollowRun(p, run, close, dir);
            if (hPerson) WaitForSingleObject(hPerson, INFINITE), CloseHandle(hPerson);
            if (alive && soak) AfterSoakRun(p, dir, run);
            if (alive && OwnCopy()) CheckReports(p, run, out);
        }
        if (soak) SoakReport();
        if (alive) {
            AwaitShot("running");
            if (p.probe->consoleWindow) RequestWindowShot(HWND(p.probe->consoleWindow), "console"), AwaitShot("console");
            if (files == "full") CheckFiles(dir);
            else if (files == "absent")
                Check(!Exists(dir + "\\testfile.tmp") && !Exists(dir + "\\testfile2.tmp"), "neither file made");
            std::string how;
            bool closed = CloseProgram(p, how); // before the line reads how
            Check(closed, "closed: program %s", how.c_str());
            if (out == "pipe") CheckPipeEnd();
        } else if (close == Close::pause) {
            Check(!Exists(dir + "\\testfile.tmp") && !Exists(dir + "\\testfile2.tmp"), "neither file made");
        }
    }
    if (p.pi.hProcess && WaitForSingleObject(p.pi.hProcess, 0) != WAIT_OBJECT_0) {
        if (!failures) Check(false, "the program is still running at the end; ending it");
        TerminateProcess(p.pi.hProcess, 1);
        WaitForSingleObject(p.pi.hProcess, 10000);
    }
    std::printf("%s: %d check%s failed\n", failures ? "FAILED" : "PASSED", failures, failures == 1 ? "" : "s");
    return failures ? 1 : 0;
}
