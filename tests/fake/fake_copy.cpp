// Stand-in for CopyFileExA: really copies, in chunks, calling the progress routine as the platform does.
#include "fake_copy.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake_messages.h"

size_t &FakeCopyChunkSize()
{
    static size_t chunkSize = 1024 * 1024;
    return chunkSize;
}

static LARGE_INTEGER Large(long long value)
{
    LARGE_INTEGER result;
    result.QuadPart = value;
    return result;
}

// Logs the call, then copies: no progress call when either file cannot be opened;
// one at 0 bytes once both are open, then one after each chunk. Anything but
// PROGRESS_CONTINUE from the routine is logged, and the copy stops there.
BOOL CopyFileExA(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                 DWORD flags)
{
    char call[512];
    snprintf(call, sizeof call, "copy %s %s %lx %s %lu", existingName, newName, (unsigned long)(uintptr_t)data,
             cancel ? "cancel" : "null", (unsigned long)flags);
    PlatformLog().push_back(call);

    FILE *source = fopen(existingName, "rb");
    if (!source)
        return FALSE;
    FILE *target = fopen(newName, "wb");
    if (!target) {
        fclose(source);
        return FALSE;
    }
    fseeko(source, 0, SEEK_END);
    long long total = ftello(source);
    fseeko(source, 0, SEEK_SET);

    std::vector<char> chunk(FakeCopyChunkSize());
    long long copied = 0;
    DWORD reason = CALLBACK_STREAM_SWITCH;
    bool ok = true;
    for (;;) {
        DWORD answer = progress ? progress(Large(total), Large(copied), Large(total), Large(copied), 1, reason,
                                           (HANDLE)source, (HANDLE)target, data)
                                : PROGRESS_CONTINUE;
        if (answer != PROGRESS_CONTINUE) {
            PlatformLog().push_back("progress answered " + std::to_string(answer));
            ok = false;
            break;
        }
        if (copied == total)
            break;
        size_t got = fread(chunk.data(), 1, chunk.size(), source);
        if (got == 0 || fwrite(chunk.data(), 1, got, target) != got) {
            ok = false;
            break;
        }
        copied += (long long)got;
        reason = CALLBACK_CHUNK_FINISHED;
    }
    fclose(source);
    if (fclose(target) != 0)
        ok = false;
    if (!ok)
        remove(newName);
    return ok ? TRUE : FALSE;
}
