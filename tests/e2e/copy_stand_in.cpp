// A copy service that calls its progress routine as CopyFileEx is documented to, for the
// end-to-end runs: it stands in for the platform's because Wine's never calls its routine.
#include "copy_stand_in.h"

DWORD copyChunk = 1 << 20;
volatile LONG copyCalls = 0, progressCalls = 0, lastCopyResult = 0;

static LARGE_INTEGER Large(LONGLONG value)
{
    LARGE_INTEGER result;
    result.QuadPart = value;
    return result;
}

// Fails at once when the source cannot be opened or the target made (an existing one with
// COPY_FILE_FAIL_IF_EXISTS); otherwise calls the routine once at 0 bytes (a new stream),
// then after each chunk with the running totals. PROGRESS_CANCEL and the cancel flag
// delete the copy, PROGRESS_STOP leaves it as far as it got; both fail with
// ERROR_REQUEST_ABORTED. After PROGRESS_QUIET the routine is not called again.
BOOL WINAPI CopyWithProgress(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                             LPBOOL cancel, DWORD flags)
{
    InterlockedIncrement(&copyCalls);
    lastCopyResult = FALSE;
    HANDLE hSource = CreateFileA(existingName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hSource == INVALID_HANDLE_VALUE) return FALSE;
    LARGE_INTEGER total{};
    GetFileSizeEx(hSource, &total);
    HANDLE hTarget = CreateFileA(newName, GENERIC_WRITE, 0, nullptr,
                                 flags & COPY_FILE_FAIL_IF_EXISTS ? CREATE_NEW : CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    DWORD error = hTarget == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    char *buffer = hTarget == INVALID_HANDLE_VALUE ? nullptr
                   : static_cast<char *>(VirtualAlloc(nullptr, copyChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (hTarget != INVALID_HANDLE_VALUE && !buffer) error = ERROR_NOT_ENOUGH_MEMORY;
    bool keep = true, quiet = !progress;
    LONGLONG done = 0;
    DWORD reason = CALLBACK_STREAM_SWITCH;
    while (!error) {
        if (!quiet) {
            InterlockedIncrement(&progressCalls);
            DWORD answer = progress(total, Large(done), total, Large(done), 1, reason, hSource, hTarget, data);
            if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) {
                error = ERROR_REQUEST_ABORTED;
                keep = answer == PROGRESS_STOP;
                break;
            }
            quiet = answer == PROGRESS_QUIET;
        }
        if (cancel && *cancel) {
            error = ERROR_REQUEST_ABORTED;
            keep = false;
        } else if (done == total.QuadPart) {
            break;
        } else {
            DWORD want = total.QuadPart - done < copyChunk ? DWORD(total.QuadPart - done) : copyChunk, got = 0, put = 0;
            SetLastError(0);
            if (!ReadFile(hSource, buffer, want, &got, nullptr) || got != want ||
                !WriteFile(hTarget, buffer, got, &put, nullptr) || put != got) {
                error = GetLastError() ? GetLastError() : ERROR_HANDLE_EOF; // a short read or write sets none
                keep = false;
            }
            done += got;
            reason = CALLBACK_CHUNK_FINISHED;
        }
    }
    if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
    if (hTarget != INVALID_HANDLE_VALUE) {
        CloseHandle(hTarget);
        if (!keep) DeleteFileA(newName);
    }
    CloseHandle(hSource);
    lastCopyResult = !error;
    SetLastError(error);
    return !error;
}
