// Baseline for the benchmark: the job's disk work and nothing else. After the job's
// one-second pause, 1,001 blocks of 1,000,000 bytes, each filled with "A" in one reused
// buffer just before its raw WriteFile to testfile.tmp, then CopyFileExA to testfile2.tmp
// with no progress routine: the same files as the program's, so that one watch times all.
// Prints the milliseconds of both phases as it saw them.
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

    Sleep(1000);
    QueryPerformanceCounter(&start);
    HANDLE hFile = CreateFileA("testfile.tmp", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        printf("cannot create testfile.tmp\n");
        return 1;
    }
    for (int index = 0; index <= 1000; ++index) {
        memset(block, 'A', sizeof block);
        DWORD done = 0;
        WriteFile(hFile, block, sizeof block, &done, NULL);
    }
    CloseHandle(hFile);
    QueryPerformanceCounter(&written);
    BOOL ok = CopyFileExA("testfile.tmp", "testfile2.tmp", NULL, NULL, NULL, 0);
    QueryPerformanceCounter(&copied);
    printf("write_ms %.1f copy_ms %.1f copy_ok %d\n", Milliseconds(start, written, frequency),
           Milliseconds(written, copied, frequency), ok ? 1 : 0);
    return ok ? 0 : 1;
}
