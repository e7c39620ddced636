// The design's floor for the benchmark: the job as the design requires it and nothing more, in
// the program's own window. One 1,000,000-byte block made and written 1,001 times through an
// 8 KiB fully buffered stream, one posted position per block, then the copy with a progress
// routine that posts a position when the copy reaches the next fiftieth. The values cost nothing:
// they are plain integer shares, not the program's rounding.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "task/task_thread.h"

static int lastCopyStep = -1;

static DWORD CALLBACK OnCopyProgress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                                     DWORD, HANDLE, HANDLE, LPVOID window)
{
    int step = total.QuadPart > 0 ? int(done.QuadPart * 50 / total.QuadPart) : 50;
    if (step != lastCopyStep) {
        lastCopyStep = step;
        PostMessageA(HWND(window), WM_TASKPROGRESS, 50 + step, 0);
    }
    return PROGRESS_CONTINUE;
}

DWORD WINAPI TaskThreadProc(LPVOID window)
{
    HWND hWindow = HWND(window);
    static char block[1000000];
    PostMessageA(hWindow, WM_TASKPROGRESS, 0, 0);
    SleepEx(1000, FALSE);

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
        PostMessageA(hWindow, WM_TASKPROGRESS, WPARAM(index / 20), 0);
    }
    if (file)
        fclose(file);
    CopyFileExA("testfile.tmp", "testfile2.tmp", OnCopyProgress, hWindow, nullptr, 0);
    PostMessageA(hWindow, WM_TASKPROGRESS, 100, 0);
    PostMessageA(hWindow, WM_TASKDONE, 0, 0);
    return 0;
}
