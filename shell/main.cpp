// Program entry: registers the window class, opens the main window and runs the message loop.
#include <windows.h>
#include <commctrl.h>

#include "shell/main_window.h"

static const char windowClassName[] = "QUILLBOXFRAME";

static void FailStartup(const char *text)
{
    MessageBoxA(NULL, text, "Error", MB_ICONERROR);
    ExitProcess(0);
}

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*commandLine*/, int /*showCommand*/)
{
    // Under common controls 6, which the manifest selects, this does nothing itself: its import loads
    // comctl32, and the manifest's activation context leads the progress bar's creation to its class there.
    InitCommonControls();

    HINSTANCE hInstance = GetModuleHandleA(NULL);
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = hInstance;
    windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = windowClassName;
    if (!RegisterClassA(&windowClass))
        FailStartup("Error while registering WndClass.\r\n\r\nThis program will now terminate.");

    HWND hMainWindow = CreateWindowExA(0, windowClassName, "main window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                       CW_USEDEFAULT, 315, 300, NULL, NULL, hInstance, NULL);
    if (!hMainWindow)
        FailStartup("Error while creating main window.\r\n\r\nThis program will now terminate.");

    // The normal show state, not the one we were started with (though on a first ShowWindow
    // Windows still takes a show state the launcher set).
    ShowWindow(hMainWindow, SW_SHOWNORMAL);
    UpdateWindow(hMainWindow);

    // GetMessageA's error result -1 keeps the loop going too; only WM_QUIT ends it.
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) != 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // An orderly end through the runtime; a task still running ends with the process.
    return 0;
}
