// The benchmark's probe: bench_probe.dll, brought into spindlework's process by the driver
// (driver.cpp) for the runs that measure the bar's lag. There it stamps the time of every
// bar position the worker posts (through the program's import of PostMessageA) and of every
// position and paint the bar gets, and says when the run is done. Nothing of it runs in the
// runs that time the job.
#include <windows.h>
#include <commctrl.h>

#include "probe.h"
#include "../tests/e2e/import_slot.h"

static const UINT taskProgress = WM_USER + 1;

static BenchProbe *probe;
static HANDLE hDone;
static WNDPROC barProc;
static BOOL(WINAPI *realPostMessageA)(HWND, UINT, WPARAM, LPARAM);
static bool barWasFull;

static void TakeStamp(LONG kind, LONG value)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONG n = InterlockedIncrement(&probe->count) - 1;
    if (n < LONG(sizeof probe->stamps / sizeof probe->stamps[0]))
        probe->stamps[n] = {now.QuadPart, kind, value};
}

static BOOL WINAPI StampedPostMessageA(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == taskProgress)
        TakeStamp(stampPosted, LONG(wParam));
    return realPostMessageA(hWindow, message, wParam, lParam);
}

static LRESULT CALLBACK BarSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == PBM_SETPOS) {
        TakeStamp(stampSet, LONG(wp));
        if (wp == 100)
            barWasFull = true;
        else if (wp == 0 && barWasFull)
            SetEvent(hDone);
    } else if (m == WM_PAINT) {
        TakeStamp(stampPainted, 0);
    }
    return CallWindowProcA(barProc, hWindow, m, wp, lp);
}

// Points the program's own import of PostMessageA at StampedPostMessageA.
static bool FollowPosts()
{
    ULONG_PTR real = ReplaceImport("user32.dll", "PostMessageA", reinterpret_cast<ULONG_PTR>(&StampedPostMessageA));
    realPostMessageA = reinterpret_cast<BOOL(WINAPI *)(HWND, UINT, WPARAM, LPARAM)>(real);
    return real != 0;
}

// The probe message: wParam the bar.
extern "C" __declspec(dllexport) LRESULT CALLBACK benchProbeHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPSTRUCT *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->message == RegisterWindowMessageA(benchProbeName) && !probe) {
        HANDLE hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, benchProbeName); // kept for the process's life
        probe = hMap ? static_cast<BenchProbe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(BenchProbe)))
                     : nullptr;
        hDone = OpenEventA(EVENT_MODIFY_STATE, FALSE, benchProbeDoneName);
        HMODULE hSelf;
        if (probe && hDone &&
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                               reinterpret_cast<LPCSTR>(&TakeStamp), &hSelf) && // stays when unhooked
            FollowPosts()) {
            barProc = WNDPROC(SetWindowLongPtrA(HWND(m->wParam), GWLP_WNDPROC, LONG_PTR(BarSpy)));
            probe->following = barProc != nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
