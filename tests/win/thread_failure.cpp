// Regression test: when the worker thread cannot be created, the start button must
// not stay disabled for good. Runs the real window procedure with the address space
// used up, so that CreateThread finds no room for the thread's stack.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "common/messages.h"
#include "shell/main_window.h"

// Reserves every free range it can, largest pieces first; returns them for release.
static std::vector<void *> ReserveAddressSpace()
{
    std::vector<void *> reserved;
    for (SIZE_T size = (SIZE_T)1 << (sizeof(void *) == 8 ? 44 : 30); size >= 64 * 1024; size /= 2)
        while (void *range = VirtualAlloc(NULL, size, MEM_RESERVE, PAGE_NOACCESS))
            reserved.push_back(range);
    return reserved;
}

static DWORD WINAPI DoNothing(LPVOID)
{
    return 0;
}

int main()
{
    InitCommonControls();
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "QUILLBOXFRAME";
    RegisterClassA(&windowClass);
    HWND hWindow = CreateWindowExA(0, "QUILLBOXFRAME", "main window", WS_OVERLAPPEDWINDOW, 0, 0, 315, 300, NULL,
                                   NULL, windowClass.hInstance, NULL);
    HWND hButton = GetDlgItem(hWindow, IDC_STARTBUTTON);
    HWND hBar = FindWindowExA(hWindow, NULL, "msctls_progress32", NULL);
    if (!hWindow || !hButton || !hBar) {
        printf("the window or its controls are missing\n0 passed, 1 failed\n");
        return 1;
    }

    std::vector<void *> reserved = ReserveAddressSpace();
    HANDLE hProbe = CreateThread(NULL, 0, DoNothing, NULL, 0, NULL);
    bool exhausted = hProbe == NULL;
    if (hProbe)
        CloseHandle(hProbe);
    SendMessageA(hWindow, WM_COMMAND, MAKEWPARAM(IDC_STARTBUTTON, BN_CLICKED), (LPARAM)hButton);
    bool enabled = IsWindowEnabled(hButton) != FALSE;
    LRESULT position = SendMessageA(hBar, PBM_GETPOS, 0, 0);
    for (void *range : reserved)
        VirtualFree(range, 0, MEM_RELEASE);

    if (!exhausted) {
        // A worker may have started: end at once, before its first pause is over.
        printf("could not use up the address space (%u ranges reserved)\n0 passed, 1 failed\n",
               (unsigned)reserved.size());
        fflush(stdout);
        ExitProcess(1);
    }
    printf("button %s, bar at %ld\n", enabled ? "enabled" : "disabled", (long)position);
    bool ok = enabled && position == 0;
    printf("threadfailure: %d passed, %d failed\n", ok ? 1 : 0, ok ? 0 : 1);
    DestroyWindow(hWindow);
    return ok ? 0 : 1;
}
