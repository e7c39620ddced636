// The end-to-end probe: e2e_probe.dll, brought into spindlework's process by the driver
// (driver.cpp), where it reads the button's font and records what the window does to its
// button and bar.
#include <windows.h>
#include <commctrl.h>

#include "probe.h"

static Probe *probe;
static WNDPROC buttonProc, barProc;

static void Record(UINT message, WPARAM value)
{
    LONG n = probe->count;
    if (n < LONG(sizeof probe->events / sizeof probe->events[0])) {
        probe->events[n] = {LONG(message), LONG(value)};
        MemoryBarrier();
        probe->count = n + 1;
    }
}

static LRESULT CALLBACK ButtonSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_ENABLE) Record(m, wp);
    return CallWindowProcA(buttonProc, hWindow, m, wp, lp);
}

static LRESULT CALLBACK BarSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == PBM_SETPOS) Record(m, wp);
    return CallWindowProcA(barProc, hWindow, m, wp, lp);
}

// The probe message: wParam the bar, lParam the button.
extern "C" __declspec(dllexport) LRESULT CALLBACK probeHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPSTRUCT *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->message == RegisterWindowMessageA(probeName) && !probe) {
        HANDLE hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, probeName); // kept for the process's life
        probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
        HMODULE hSelf;
        if (probe && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                        reinterpret_cast<LPCSTR>(&Record), &hSelf)) { // stays when unhooked
            HWND hBar = HWND(m->wParam), hButton = HWND(m->lParam);
            HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hButton, WM_GETFONT, 0, 0));
            probe->fontState = hFont && GetObjectA(hFont, sizeof(LOGFONTA), &probe->font) == sizeof(LOGFONTA) ? 1 : 2;
            buttonProc = WNDPROC(SetWindowLongPtrA(hButton, GWLP_WNDPROC, LONG_PTR(ButtonSpy)));
            barProc = WNDPROC(SetWindowLongPtrA(hBar, GWLP_WNDPROC, LONG_PTR(BarSpy)));
            probe->recording = buttonProc && barProc;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
