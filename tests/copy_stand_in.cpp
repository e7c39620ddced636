// A copy service that copies in chunks and calls its progress routine as CopyFileEx is documented to.
#include "copy_stand_in.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#ifdef _WIN32
#include <io.h> // _chsize_s
#endif

size_t copyChunk = 1 << 20;

static LARGE_INTEGER Large(long long value)
{
    LARGE_INTEGER result;
    result.QuadPart = value;
    return result;
}

// Fails at once when the source cannot be opened or the copy made: an existing one with
// COPY_FILE_FAIL_IF_EXISTS, a read-only or hidden one (ERROR_ACCESS_DENIED, left as it was). Else sets
// the copy to the source's length (as Windows is seen doing), calls the routine at 0 bytes (a new
// stream), then after each chunk with the running totals. PROGRESS_CANCEL and the cancel flag delete the
// copy, PROGRESS_STOP leaves it as it stands; both fail with ERROR_REQUEST_ABORTED. After PROGRESS_QUIET
// no more calls. A failed read or write deletes the copy; a whole one gets the source's attributes.
BOOL WINAPI CopyWithProgress(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                             LPBOOL cancel, DWORD flags)
{
    FILE *source = fopen(existingName, "rb");
    if (!source) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD old = GetFileAttributesA(newName);
    bool exists = old != INVALID_FILE_ATTRIBUTES && flags & COPY_FILE_FAIL_IF_EXISTS;
    bool guarded = old != INVALID_FILE_ATTRIBUTES && old & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    FILE *target = exists || guarded ? NULL : fopen(newName, "wb");
    DWORD error = exists ? ERROR_FILE_EXISTS : target ? 0 : ERROR_ACCESS_DENIED;
    _fseeki64(source, 0, SEEK_END);
    long long total = _ftelli64(source), done = 0;
    _fseeki64(source, 0, SEEK_SET);
    char *buffer = target ? (char *)malloc(copyChunk) : NULL;
    if (target && !buffer) error = ERROR_NOT_ENOUGH_MEMORY;
    if (target && _chsize_s(fileno(target), total) != 0) error = ERROR_WRITE_FAULT;
    bool stopped = false, quiet = !progress;
    DWORD reason = CALLBACK_STREAM_SWITCH;
    while (!error) {
        if (!quiet) {
            DWORD answer = progress(Large(total), Large(done), Large(total), Large(done), 1, reason, (HANDLE)source,
                                    (HANDLE)target, data);
            if (answer == PROGRESS_CANCEL || answer == PROGRESS_STOP) {
                error = ERROR_REQUEST_ABORTED;
                stopped = answer == PROGRESS_STOP;
                break;
            }
            quiet = answer == PROGRESS_QUIET;
        }
        if (cancel && *cancel) {
            error = ERROR_REQUEST_ABORTED;
        } else if (done == total) {
            break;
        } else {
            size_t want = total - done < (long long)copyChunk ? (size_t)(total - done) : copyChunk;
            if (fread(buffer, 1, want, source) != want || fwrite(buffer, 1, want, target) != want)
                error = ERROR_WRITE_FAULT;
            done += (long long)want;
            reason = CALLBACK_CHUNK_FINISHED;
        }
    }
    free(buffer);
    fclose(source);
    if (target && fclose(target) != 0 && !error) error = ERROR_WRITE_FAULT;
    if (target && error && !stopped) remove(newName);
    if (!error) SetFileAttributesA(newName, GetFileAttributesA(existingName));
    SetLastError(error);
    return !error;
}
