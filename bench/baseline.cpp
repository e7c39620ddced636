// Baseline for the benchmark: the job's disk work and nothing else. 1,001 blocks of
// 1,000,000 bytes, each filled with "A" in one reused buffer just before its raw
// WriteFile to a fresh file, then CopyFileExA with no progress routine. Prints the
// milliseconds of both phases.
#include <windows.h>

#include <cstdio>
#include <cstring>

static double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

int main()
{
    static char block[1000000];
    LARGE_INTEGER frequency, start, written, copied;
    QueryPerformanceFrequency(&frequency);

    DeleteFileA("baseline.tmp");
    DeleteFileA("baseline2.tmp");
    QueryPerformanceCounter(&start);
    HANDLE hFile = CreateFileA("baseline.tmp", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        printf("cannot create baseline.tmp\n");
        return 1;
    }
    for (int index = 0; index <= 1000; ++index) {
        memset(block, 'A', sizeof block);
        DWORD done = 0;
        WriteFile(hFile, block, sizeof block, &done, NULL);
    }
    CloseHandle(hFile);
    QueryPerformanceCounter(&written);
    BOOL ok = CopyFileExA("baseline.tmp", "baseline2.tmp", NULL, NULL, NULL, 0);
    QueryPerformanceCounter(&copied);
    printf("write_ms %.1f copy_ms %.1f copy_ok %d\n", Milliseconds(start, written, frequency),
           Milliseconds(written, copied, frequency), ok ? 1 : 0);
    DeleteFileA("baseline.tmp");
    DeleteFileA("baseline2.tmp");
    return ok ? 0 : 1;
}
