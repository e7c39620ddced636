// The worker's job: write the scratch file block by block, copy it, and post the bar positions.
#include "task/task_thread.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "task/copy_progress.h"

static const char scratchFileName[] = "testfile.tmp";
static const char copyFileName[] = "testfile2.tmp";
static const size_t blockSize = 1000000;
static const int lastBlockIndex = 1000;
static const size_t streamBufferSize = 8192;

// Opens the scratch file for reading and writing without truncating it, falling
// back to creating it, then to reading only. Returns NULL when no mode works or
// the file's length cannot be measured.
static FILE *OpenScratchFile()
{
    FILE *file = fopen(scratchFileName, "r+b");
    if (!file)
        file = fopen(scratchFileName, "w+b");
    if (!file)
        file = fopen(scratchFileName, "rb");
    if (!file)
        return NULL;

    // 64-bit offsets, so that a scratch file over 2 GiB left by something else
    // is measured like any other. The length itself is not needed.
    if (_fseeki64(file, 0, SEEK_END) != 0 || _ftelli64(file) < 0 || _fseeki64(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return NULL;
    }
    setvbuf(file, NULL, _IOFBF, streamBufferSize);
    return file;
}

DWORD WINAPI TaskThreadProc(LPVOID param)
{
    HWND hMainWindow = (HWND)param;

    PostMessageA(hMainWindow, WM_TASKPROGRESS, 0, 0);
    SleepEx(1000, FALSE);

    FILE *scratchFile = OpenScratchFile();

    // Each block is made afresh for its index and is done with before the next, but in the
    // same memory, committed once and reused. A block this large would otherwise come as
    // fresh pages from the system every time (it is past what heaps keep on their free
    // lists), and faulting those pages in cost several times the write itself. An index
    // whose memory cannot be had is skipped, and the next index tries again.
    char *blockMemory = NULL;
    for (int index = 0; index <= lastBlockIndex; ++index) {
        if (!blockMemory)
            blockMemory = (char *)VirtualAlloc(NULL, blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (blockMemory) {
            memset(blockMemory, 'A', blockSize);
            // A short or failed write (a full disk, a read-only file) is passed over.
            if (scratchFile)
                fwrite(blockMemory, 1, blockSize, scratchFile);
        }
        // index / 20.0 rounded, ties to even: 0 to 50 over the writing phase.
        PostMessageA(hMainWindow, WM_TASKPROGRESS, (WPARAM)std::nearbyint(index / 20.0), 0);
    }
    if (blockMemory)
        VirtualFree(blockMemory, 0, MEM_RELEASE);
    if (scratchFile)
        fclose(scratchFile);

    CopyFileExA(scratchFileName, copyFileName, OnCopyProgress, hMainWindow, NULL, 0);

    PostMessageA(hMainWindow, WM_TASKPROGRESS, 100, 0);
    SleepEx(1000, FALSE);
    PostMessageA(hMainWindow, WM_TASKDONE, 0, 0);
    return 0;
}
