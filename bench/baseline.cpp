// Raw baseline for the benchmark: the job's disk work and nothing else, started from the
// program's own window so that it runs on the same footing. After the job's one-second pause,
// 1,001 blocks of 1,000,000 bytes, each filled with "A" in one reused buffer just before its
// raw WriteFile to testfile.tmp, then CopyFileExA to testfile2.tmp with no progress routine.
// No positions are posted while it works.
#include <windows.h>

#include <cstring>

#include "common/messages.h"
#include "task/task_thread.h"

DWORD WINAPI TaskThreadProc(LPVOID window)
{
    static char block[1000000];
    SleepEx(1000, FALSE);
    HANDLE hFile = CreateFileA("testfile.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        for (int index = 0; index <= 1000; ++index) {
            memset(block, 'A', sizeof block);
            DWORD done = 0;
            WriteFile(hFile, block, sizeof block, &done, nullptr);
        }
        CloseHandle(hFile);
    }
    CopyFileExA("testfile.tmp", "testfile2.tmp", nullptr, nullptr, nullptr, 0);
    PostMessageA(HWND(window), WM_TASKDONE, 0, 0);
    return 0;
}
