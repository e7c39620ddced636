// The end-to-end probe: e2e_probe.dll, brought into the program's process by a driver
// (program.cpp), where it records what the window does to its button and bar and what the
// program asks of the system through its imports (see probe.h). Asked to, it copies through the
// tests' copy stand-in, which calls the progress routine as the platform's is documented to (Wine's
// never calls it).
#include <windows.h>
#include <commctrl.h>

#include "copy_stand_in.h"
#include "import_slot.h"
#include "probe.h"

static Probe *probe;
static HWND hFollowedWindow; // the program's main window
static UINT askMessage;

// Any thread may record: each takes a slot of its own and fills in its kind last.
static void Record(LONG kind, LONG_PTR a, LONG_PTR b = 0, LONG_PTR c = 0, LONG_PTR window = 0)
{
    LONG n = InterlockedIncrement(&probe->count) - 1;
    if (n >= LONG(sizeof probe->calls / sizeof probe->calls[0])) return;
    Call &call = probe->calls[n];
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    call.a = a, call.b = b, call.c = c, call.window = window, call.thread = GetCurrentThreadId(), call.time = now.QuadPart;
    MemoryBarrier();
    call.kind = kind;
}

// The worker waits here for good at the asked call: the program must end without it.
static void HoldAt(LONG at, volatile LONG &calls)
{
    if (at && InterlockedIncrement(&calls) == at) {
        probe->held = 1;
        Sleep(INFINITE);
    }
}

// In the place of the exe's imports; each records the call and makes it.
static decltype(&PostMessageA) realPost;
static decltype(&SleepEx) realSleep;
static decltype(&CreateThread) realCreateThread;
static decltype(&CloseHandle) realClose;
static decltype(&DeleteObject) realDelete;
static decltype(&CopyFileExA) realCopy;
static volatile LONG sleeps;
static bool ownCopy;

static BOOL WINAPI PostRecorder(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    Record('p', m, wp, lp, LONG_PTR(hWindow));
    return realPost(hWindow, m, wp, lp);
}

static DWORD WINAPI SleepRecorder(DWORD ms, BOOL alertable)
{
    Record('s', ms, alertable);
    HoldAt(probe->holdSleep, sleeps);
    return realSleep(ms, alertable);
}

struct Start {
    LPTHREAD_START_ROUTINE routine;
    LPVOID param;
};

static DWORD WINAPI Started(LPVOID param)
{
    Start start = *static_cast<Start *>(param);
    delete static_cast<Start *>(param);
    DWORD result = start.routine(start.param);
    Record('r', result);
    return result;
}

static HANDLE WINAPI ThreadRecorder(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE routine, LPVOID param,
                                    DWORD flags, LPDWORD id)
{
    HANDLE hThread = realCreateThread(sa, stack, Started, new Start{routine, param}, flags, id);
    Record('t', LONG_PTR(hThread), param == hFollowedWindow);
    return hThread;
}

static BOOL WINAPI CloseRecorder(HANDLE h) { return Record('c', LONG_PTR(h)), realClose(h); }
static BOOL WINAPI DeleteRecorder(HGDIOBJ h) { return Record('d', LONG_PTR(h)), realDelete(h); }

static BOOL WINAPI CopyRecorder(LPCSTR from, LPCSTR to, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                                DWORD flags)
{
    Record('x', flags, data == hFollowedWindow, cancel != nullptr);
    return (ownCopy ? CopyWithProgress : realCopy)(from, to, progress, data, cancel, flags);
}

template <typename F> static void Follow(const char *dll, const char *function, F recorder, F &real)
{
    real = reinterpret_cast<F>(ReplaceImport(dll, function, reinterpret_cast<ULONG_PTR>(recorder)));
}

static WNDPROC buttonProc, barProc, mainProc;

static LRESULT CALLBACK ButtonSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_ENABLE) Record('B', wp);
    return CallWindowProcA(buttonProc, hWindow, m, wp, lp);
}

static LRESULT CALLBACK BarSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == PBM_SETPOS) Record('P', wp);
    return CallWindowProcA(barProc, hWindow, m, wp, lp);
}

// What the driver asks for (ProbeAsk), in the program's window thread.
static LRESULT CALLBACK MainSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == askMessage && wp == askCopy) return copyChunk = size_t(lp), ownCopy = realCopy != nullptr;
    if (m == askMessage && wp == askMark) return Record('m', 0), 1;
    return CallWindowProcA(mainProc, hWindow, m, wp, lp);
}

// The probe message: wParam the bar, lParam the button.
extern "C" __declspec(dllexport) LRESULT CALLBACK probeHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPSTRUCT *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->message == RegisterWindowMessageA(probeName) && !probe) {
        char name[64];
        ProbeMapName(name, GetCurrentProcessId());
        HANDLE hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name); // kept for the process's life
        probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
        HMODULE hSelf;
        if (probe && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                        reinterpret_cast<LPCSTR>(&Record), &hSelf)) { // stays when unhooked
            HWND hBar = HWND(m->wParam), hButton = HWND(m->lParam);
            hFollowedWindow = m->hwnd;
            askMessage = RegisterWindowMessageA(askName);
            probe->hFont = LONG_PTR(SendMessageA(hButton, WM_GETFONT, 0, 0));
            buttonProc = WNDPROC(SetWindowLongPtrA(hButton, GWLP_WNDPROC, LONG_PTR(ButtonSpy)));
            barProc = WNDPROC(SetWindowLongPtrA(hBar, GWLP_WNDPROC, LONG_PTR(BarSpy)));
            mainProc = WNDPROC(SetWindowLongPtrA(hFollowedWindow, GWLP_WNDPROC, LONG_PTR(MainSpy)));
            Follow("user32.dll", "PostMessageA", &PostRecorder, realPost);
            Follow("kernel32.dll", "SleepEx", &SleepRecorder, realSleep);
            Follow("kernel32.dll", "CreateThread", &ThreadRecorder, realCreateThread);
            Follow("kernel32.dll", "CloseHandle", &CloseRecorder, realClose);
            Follow("gdi32.dll", "DeleteObject", &DeleteRecorder, realDelete);
            Follow("kernel32.dll", "CopyFileExA", &CopyRecorder, realCopy);
            probe->recording = buttonProc && barProc && mainProc && realPost && realSleep && realCreateThread &&
                               realClose && realDelete && realCopy;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
