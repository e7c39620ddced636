// The benchmark programs' window: the program's class, title, size and controls, so that the
// driver starts, clicks and closes the floor and raw programs just as it does the program.
#include "bench_window.h"

#include <commctrl.h>

static LPTHREAD_START_ROUTINE jobRoutine;
static HWND hStartButton, hProgressBar;
static HANDLE hJobThread;

static LRESULT CALLBACK BenchWndProc(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == 1) {
            EnableWindow(hStartButton, FALSE);
            hJobThread = CreateThread(nullptr, 0, jobRoutine, hWindow, 0, nullptr);
            if (!hJobThread)
                EnableWindow(hStartButton, TRUE);
        }
        break;
    case BENCH_SETPOS:
        SendMessageA(hProgressBar, PBM_SETPOS, wParam, 0);
        break;
    case BENCH_DONE:
        EnableWindow(hStartButton, TRUE);
        SendMessageA(hProgressBar, PBM_SETPOS, 0, 0);
        CloseHandle(hJobThread);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(hWindow, message, wParam, lParam);
}

int RunBenchWindow(LPTHREAD_START_ROUTINE job)
{
    jobRoutine = job;
    InitCommonControls();
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = BenchWndProc;
    windowClass.hInstance = hInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "QUILLBOXFRAME";
    RegisterClassA(&windowClass);
    HWND hWindow = CreateWindowExA(0, windowClass.lpszClassName, "main window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                   CW_USEDEFAULT, 315, 300, nullptr, nullptr, hInstance, nullptr);
    if (!hWindow)
        return 1;
    hStartButton = CreateWindowExA(0, "BUTTON", "Start", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 20, 20, 250, 150,
                                   hWindow, HMENU(1), hInstance, nullptr);
    hProgressBar = CreateWindowExA(0, "msctls_progress32", "", WS_CHILD | WS_VISIBLE, 20, 200, 250, 30, hWindow,
                                   nullptr, hInstance, nullptr);
    SendMessageA(hProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ShowWindow(hWindow, SW_SHOWNORMAL);
    UpdateWindow(hWindow);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
