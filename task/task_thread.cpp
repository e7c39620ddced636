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
// Room for one block and the heap's own bookkeeping, and not much more.
static const size_t blockHeapSize = 1024 * 1024 + 64 * 1024;

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

    // Each block is made afresh and released before the next, but from a small
    // private heap that only ever holds that one block, so its memory is reused
    // from index to index. From the process heap every block would be fresh
    // virtual memory (a block this large bypasses the heap's free lists), and
    // faulting in those pages cost several times the write itself. If the heap
    // cannot be made, no block can be allocated and every block is skipped.
    HANDLE hBlockHeap = HeapCreate(0, blockHeapSize, blockHeapSize);

    for (int index = 0; index <= lastBlockIndex; ++index) {
        char *block = hBlockHeap ? (char *)HeapAlloc(hBlockHeap, 0, blockSize) : NULL;
        if (block) {
            memset(block, 'A', blockSize);
            // A short or failed write (a full disk, a read-only file) is passed over.
            if (scratchFile)
                fwrite(block, 1, blockSize, scratchFile);
            HeapFree(hBlockHeap, 0, block);
        }
        // index / 20.0 rounded, ties to even: 0 to 50 over the writing phase.
        PostMessageA(hMainWindow, WM_TASKPROGRESS, (WPARAM)std::nearbyint(index / 20.0), 0);
    }
    if (hBlockHeap)
        HeapDestroy(hBlockHeap);
    if (scratchFile)
        fclose(scratchFile);

    CopyFileExA(scratchFileName, copyFileName, OnCopyProgress, hMainWindow, NULL, 0);

    PostMessageA(hMainWindow, WM_TASKPROGRESS, 100, 0);
    SleepEx(1000, FALSE);
    PostMessageA(hMainWindow, WM_TASKDONE, 0, 0);
    return 0;
}
