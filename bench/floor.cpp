// The design's floor for the benchmark: the job as the design requires it and nothing more.
// A window with a real progress bar (the program's size and place, version 6 controls by the
// same manifest) on the process's first thread; on a second thread, one 1,000,000-byte block
// made and written 1,001 times through an 8 KiB fully buffered stream, one posted position
// per block, then the copy with a progress routine. Prints the milliseconds of both phases
// as the worker saw them, and the bar's lag: from the worker's last writing-phase post to the
// bar getting it (two clock readings, nothing more).
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

static const UINT setPosition = WM_USER + 1, finished = WM_USER + 2;
static HWND hBar;
static int lastCopyStep = -1;
static double writeMs, copyMs;
static LARGE_INTEGER lastPosted, lastGot;
static int positionsGot;

static double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

static DWORD CALLBACK OnCopyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                                     DWORD, HANDLE, HANDLE, LPVOID window)
{
    int step = total.QuadPart > 0 ? int(done.QuadPart * 50 / total.QuadPart) : 50;
    if (step != lastCopyStep) {
        lastCopyStep = step;
        PostMessageA(HWND(window), setPosition, 50 + step, 0);
    }
    return PROGRESS_CONTINUE;
}

static DWORD WINAPI Job(LPVOID window)
{
    HWND hWindow = HWND(window);
    static char block[1000000];
    PostMessageA(hWindow, setPosition, 0, 0);
    SleepEx(1000, FALSE);

    LARGE_INTEGER start, written, copied;
    QueryPerformanceCounter(&start);
    FILE *file = fopen("testfile.tmp", "r+b");
    if (!file)
        file = fopen("testfile.tmp", "w+b");
    // The design measures the file's length once it is open, then starts at offset 0.
    if (file && (_fseeki64(file, 0, SEEK_END) != 0 || _ftelli64(file) < 0 || _fseeki64(file, 0, SEEK_SET) != 0)) {
        fclose(file);
        file = nullptr;
    }
    if (file)
        setvbuf(file, nullptr, _IOFBF, 8192);
    for (int index = 0; index <= 1000; ++index) {
        memset(block, 'A', sizeof block);
        if (file)
            fwrite(block, 1, sizeof block, file);
        if (index == 1000)
            QueryPerformanceCounter(&lastPosted);
        PostMessageA(hWindow, setPosition, WPARAM(std::nearbyint(index / 20.0)), 0);
    }
    if (file)
        fclose(file);
    QueryPerformanceCounter(&written);
    CopyFileExA("testfile.tmp", "testfile2.tmp", OnCopyProgress, hWindow, nullptr, 0);
    QueryPerformanceCounter(&copied);
    PostMessageA(hWindow, setPosition, 100, 0);
    writeMs = Milliseconds(start, written);
    copyMs = Milliseconds(written, copied);
    PostMessageA(hWindow, finished, 0, 0);
    return 0;
}

static LRESULT CALLBACK FloorWndProc(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == setPosition) {
        SendMessageA(hBar, PBM_SETPOS, wParam, 0);
        // Position 0 starts the run; the 1,002nd is the last of the writing phase.
        if (++positionsGot == 1002)
            QueryPerformanceCounter(&lastGot);
    }
    else if (message == finished)
        DestroyWindow(hWindow);
    else if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hWindow, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FloorWndProc;
    windowClass.hInstance = hInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "spindlework-floor";
    RegisterClassA(&windowClass);
    HWND hWindow = CreateWindowExA(0, windowClass.lpszClassName, "floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                   CW_USEDEFAULT, 315, 300, nullptr, nullptr, hInstance, nullptr);
    hBar = CreateWindowExA(0, "msctls_progress32", "", WS_CHILD | WS_VISIBLE, 20, 200, 250, 30, hWindow, nullptr,
                           hInstance, nullptr);
    if (!hWindow || !hBar) {
        printf("error no-window\n");
        return 1;
    }
    SendMessageA(hBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ShowWindow(hWindow, SW_SHOWNORMAL);
    UpdateWindow(hWindow);

    HANDLE hJob = CreateThread(nullptr, 0, Job, hWindow, 0, nullptr);
    MSG msg;
    while (hJob && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (!hJob)
        return 1;
    WaitForSingleObject(hJob, INFINITE);
    printf("write_ms %.1f copy_ms %.1f lag_ms %.3f\n", writeMs, copyMs, Milliseconds(lastPosted, lastGot));
    fflush(stdout);
    return 0;
}
