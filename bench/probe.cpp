// The benchmark's probe: bench_probe.dll, brought into spindlework's process by the driver
// (driver.cpp) for the runs that measure the bar's lag. There it stamps the time of every
// bar position the worker posts (through the program's import of PostMessageA) and of every
// position and paint the bar gets, and says when the run is done. Nothing of it runs in the
// runs that time the job.
#include <windows.h>
#include <commctrl.h>

#include "probe.h"

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
    BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    FARPROC target = GetProcAddress(GetModuleHandleA("user32.dll"), "PostMessageA");
    const IMAGE_NT_HEADERS *nt =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    bool found = false;
    for (auto *module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && module->Name; ++module) {
        for (auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + module->FirstThunk); slot->u1.Function; ++slot) {
            if (reinterpret_cast<FARPROC>(slot->u1.Function) != target)
                continue;
            DWORD was;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was))
                return false;
            realPostMessageA = reinterpret_cast<BOOL(WINAPI *)(HWND, UINT, WPARAM, LPARAM)>(reinterpret_cast<void *>(target));
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&StampedPostMessageA);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
            found = true;
        }
    }
    return found;
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
