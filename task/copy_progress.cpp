// Turns the copy's progress into bar positions 50..100 and report lines on standard output.
#include "task/copy_progress.h"

#include <cmath>

#include "common/messages.h"
#include "task/std_output.h"

// Copy percentage (0..100) of the last report. Touched only by the worker thread,
// inside the copy. Never reset: a later run starts from what the last one left.
int lastCopyPercent = 0;

DWORD CALLBACK OnCopyProgress(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                              LARGE_INTEGER /*StreamSize*/, LARGE_INTEGER /*StreamBytesTransferred*/,
                              DWORD /*dwStreamNumber*/, DWORD /*dwCallbackReason*/, HANDLE /*hSourceFile*/,
                              HANDLE /*hDestinationFile*/, LPVOID lpData)
{
    // Plain IEEE doubles throughout: rounding at the exact step boundaries depends on it.
    double ratio = (double)TotalBytesTransferred.QuadPart / (double)TotalFileSize.QuadPart;
    double step = std::floor(ratio * 50.0);
    double lastStep = std::floor(lastCopyPercent / 2.0);

    // Report only when the copy has left the step of the last report. An empty
    // file gives 0 / 0, which compares unordered and so counts as no change.
    if (!(step < lastStep || step > lastStep))
        return PROGRESS_CONTINUE;

    // nearbyint rounds in the default mode: ties go to the even integer.
    lastCopyPercent = (int)std::nearbyint(ratio * 100.0);
    WriteInt64(TotalFileSize.QuadPart, ENDING_ZONE);
    WriteInt64(TotalBytesTransferred.QuadPart, ENDING_LINE);
    PostMessageA((HWND)lpData, WM_TASKPROGRESS, (WPARAM)std::nearbyint(lastCopyPercent / 2.0 + 50.0), 0);
    return PROGRESS_CONTINUE;
}
