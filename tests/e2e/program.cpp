// The program seen from outside: starting it, finding its window, the probe, following a run, closing it.
#include "program.h"

#include <cstdio>

double CounterMs(LONGLONG counter)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(counter) / double(frequency.QuadPart);
}

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterMs(now.QuadPart);
}

std::string WinPath(std::string path)
{
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char &c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string StartProgram(Program &p, const std::string &exe, const std::string &dir, HANDLE hOut)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOWNORMAL;
    startup.hStdOutput = startup.hStdError = hOut;
    std::string path = WinPath(exe), commandLine = "\"" + path + "\"";
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, hOut != nullptr, 0, nullptr,
                        WinPath(dir).c_str(), &startup, &p.pi))
        return "cannot start " + path + " (error " + std::to_string(GetLastError()) + ")";
    // The window as any client finds it: by class and title, once the program waits for input.
    WaitForInputIdle(p.pi.hProcess, 60000);
    DWORD owner = 0;
    for (int i = 0; i < 600 && !(p.hWindow && IsWindowVisible(p.hWindow)); ++i, Sleep(100)) {
        p.hWindow = FindWindowA("QUILLBOXFRAME", "main window");
        if (p.hWindow) p.windowThread = GetWindowThreadProcessId(p.hWindow, &owner);
    }
    if (!p.hWindow || owner != p.pi.dwProcessId) return "no visible window \"main window\" of class QUILLBOXFRAME";
    char name[64];
    for (HWND hChild = GetWindow(p.hWindow, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        GetClassNameA(hChild, name, sizeof name);
        if (!lstrcmpiA(name, "Button")) p.hButton = hChild;
        if (!lstrcmpiA(name, "msctls_progress32")) p.hBar = hChild;
    }
    return p.hButton && p.hBar ? "" : "the window lacks its button or its bar";
}

bool AttachProbe(Program &p)
{
    char name[64], path[MAX_PATH];
    ProbeMapName(name, p.pi.dwProcessId);
    HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Probe), name);
    auto *probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
    // e2e_probe.dll from beside this program.
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    lstrcpyA(path + n, "e2e_probe.dll");
    HMODULE hProbeDll = LoadLibraryA(path);
    auto hook = hProbeDll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void *>(GetProcAddress(hProbeDll, "probeHook")))
                          : nullptr;
    HHOOK hHook = hook && probe ? SetWindowsHookExA(WH_CALLWNDPROC, hook, hProbeDll, p.windowThread) : nullptr;
    DWORD_PTR ignored;
    if (hHook) Ask(p.hWindow, RegisterWindowMessageA(probeName), WPARAM(p.hBar), LPARAM(p.hButton), &ignored);
    if (hHook) UnhookWindowsHookEx(hHook);
    if (probe && probe->recording) p.probe = probe; // the view and the mapping stay until this program ends
    return p.probe != nullptr;
}

bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result)
{
    return SendMessageTimeoutA(hWindow, msg, wp, lp, SMTO_NORMAL, 5000, result) != 0;
}

// Giving a console can take a while under emulation.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp)
{
    DWORD_PTR done = 0;
    return p.probe &&
           SendMessageTimeoutA(p.hWindow, RegisterWindowMessageA(askName), WPARAM(what), lp, SMTO_NORMAL, 120000,
                               &done) &&
           done;
}

static const LONG recordSlots = LONG(sizeof Probe::calls / sizeof Probe::calls[0]);

// The record's entries from `next` on, each to the window's or the worker's list; stops at a
// slot still being filled. True once the driver's marker is there.
static bool ReadRecord(const Program &p, LONG &next, Run &run)
{
    for (; next < p.probe->count && next < recordSlots; ++next) {
        const Call &c = p.probe->calls[next];
        if (!c.kind) return false;
        if (c.kind == 'm') return true;
        (c.thread == p.windowThread ? run.window : run.worker).push_back(c);
    }
    return false;
}

void FollowRun(const Program &p, Run &run, double stallMs, bool answering, void (*onRead)(const Program &, const Run &))
{
    LONG next = p.probe->count;
    DWORD_PTR ignored;
    PostMessageA(p.hButton, BM_CLICK, 0, 0);
    bool marking = false;
    for (double last = NowMs();; Sleep(5)) {
        size_t had = run.window.size() + run.worker.size();
        if (WaitForSingleObject(p.pi.hProcess, 0) == WAIT_OBJECT_0) {
            run.end = "the program ended during the run";
            return;
        }
        if (answering && !Ask(p.hWindow, WM_NULL, 0, 0, &ignored)) {
            run.end = "the program stopped answering (5 s)";
            return;
        }
        if (ReadRecord(p, next, run)) return;
        // The marker is handled after everything the worker posted before it returned.
        if (!marking && !run.worker.empty() && run.worker.back().kind == 'r')
            marking = PostMessageA(p.hWindow, RegisterWindowMessageA(askName), askMark, 0);
        if (p.probe->held) {
            run.end = "held";
            return;
        }
        if (run.window.size() + run.worker.size() != had) {
            last = NowMs();
            if (onRead) onRead(p, run);
        }
        if (NowMs() - last > stallMs) {
            run.end = "nothing new for " + std::to_string(int(stallMs / 1000)) + " s while waiting for " +
                      (marking ? "the window to handle what the worker posted" : "the worker's end") +
                      (next == recordSlots ? " (the record is full)" : "");
            return;
        }
    }
}

std::string CloseProgram(const Program &p, std::vector<Call> *windowCalls)
{
    LONG next = p.probe ? p.probe->count : 0;
    PostMessageA(p.hWindow, WM_CLOSE, 0, 0);
    DWORD ended = WaitForSingleObject(p.pi.hProcess, 10000), code = 1;
    GetExitCodeProcess(p.pi.hProcess, &code);
    Run after;
    if (p.probe) ReadRecord(p, next, after);
    if (windowCalls) *windowCalls = after.window;
    if (ended != WAIT_OBJECT_0) {
        TerminateProcess(p.pi.hProcess, 1);
        return "still running 10 s after the close; ended it";
    }
    return "ended, exit code " + std::to_string(code);
}
