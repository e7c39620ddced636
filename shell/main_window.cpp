// The main window's procedure: builds the button and the bar, starts the task and follows it.
#include "shell/main_window.h"

#include <commctrl.h>

#include "common/messages.h"
#include "task/task_thread.h"

// The size Windows XP gave NONCLIENTMETRICSA, without the trailing iPaddedBorderWidth.
static const UINT nonClientMetricsSize = 340;

// Set on WM_CREATE or on a click, used and released here: user-interface thread only.
static HINSTANCE hAppInstance;
static HWND hStartButton;
static HFONT hMessageFont;
static HWND hProgressBar;
static HANDLE hTaskThread;

static void CreateControls(HWND hWindow)
{
#ifdef _WIN64
    hAppInstance = (HINSTANCE)GetWindowLongPtrA(hWindow, GWLP_HINSTANCE);
#else
    hAppInstance = (HINSTANCE)GetWindowLongA(hWindow, GWL_HINSTANCE);
#endif
    hStartButton = CreateWindowExA(0, "BUTTON", "Start time consuming task!",
                                   WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 20, 20, 250, 150, hWindow,
                                   (HMENU)(INT_PTR)IDC_STARTBUTTON, hAppInstance, NULL);

    NONCLIENTMETRICSA metrics;
    ZeroMemory(&metrics, sizeof(metrics));
    metrics.cbSize = nonClientMetricsSize;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, nonClientMetricsSize, &metrics, 0);
    hMessageFont = CreateFontIndirectA(&metrics.lfMessageFont);
    SendMessageA(hStartButton, WM_SETFONT, (WPARAM)hMessageFont, TRUE);

    hProgressBar = CreateWindowExA(0, "msctls_progress32", "", WS_CHILD | WS_VISIBLE, 20, 200, 250, 30, hWindow,
                                   NULL, hAppInstance, NULL);
    SendMessageA(hProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

static void StartTask(HWND hWindow)
{
    // The disabled button is the only guard against a second run.
    EnableWindow(hStartButton, FALSE);
    hTaskThread = CreateThread(NULL, 0, TaskThreadProc, hWindow, 0, NULL);
    // With no thread there will be no WM_TASKDONE to give the button back.
    if (!hTaskThread)
        EnableWindow(hStartButton, TRUE);
}

LRESULT CALLBACK MainWndProc(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateControls(hWindow);
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_STARTBUTTON)
            StartTask(hWindow);
        break;
    case WM_TASKPROGRESS:
        SendMessageA(hProgressBar, PBM_SETPOS, wParam, 0);
        break;
    case WM_TASKDONE:
        EnableWindow(hStartButton, TRUE);
        SendMessageA(hProgressBar, PBM_SETPOS, 0, 0);
        CloseHandle(hTaskThread);
        break;
    case WM_DESTROY:
        DeleteObject(hMessageFont);
        PostQuitMessage(0);
        break;
    }
    // Everything also gets the default processing; its result is ours.
    return DefWindowProcA(hWindow, message, wParam, lParam);
}
