// The copy progress cases run by the real routine, built with the shipped compiler flags
// and posting to a real (message-only) window; and the report's number format as the
// real C runtime prints it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/messages.h"
#include "copy_progress_cases.h"
#include "task/copy_progress.h"
#include "task/std_output.h"
#include "text_compare.h"

static HWND hSink;

static int stopAsked; // calls that did not answer PROGRESS_CONTINUE

static void Report(long long transferred, long long total)
{
    LARGE_INTEGER size, done;
    size.QuadPart = total;
    done.QuadPart = transferred;
    stopAsked += OnCopyProgress(size, done, size, done, 1, CALLBACK_CHUNK_FINISHED, NULL, NULL, hSink) != PROGRESS_CONTINUE;
}

static std::vector<int> TakePositions()
{
    std::vector<int> positions;
    MSG msg;
    while (PeekMessageA(&msg, hSink, WM_TASKPROGRESS, WM_TASKPROGRESS, PM_REMOVE))
        positions.push_back((int)msg.wParam);
    return positions;
}

static std::string Text(const std::vector<int> &positions)
{
    std::string text = "positions";
    for (int position : positions)
        text += " " + std::to_string(position);
    return text;
}

// Sends the writer's first output to a file (so it starts in column -1) and reads it back.
static bool NumbersPrintAsTheRuntimeDoes()
{
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    lstrcatA(path, "spindlework-numbers.tmp");
    HANDLE hFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    HANDLE hOldOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, hFile);
    WriteInt64(0, ENDING_LINE);
    WriteInt64(-1, ENDING_LINE);
    WriteInt64(-9223372036854775807LL - 1, ENDING_LINE);
    WriteInt64(9223372036854775807LL, ENDING_ZONE);
    WriteInt64(1001000000, ENDING_LINE);
    SetStdHandle(STD_OUTPUT_HANDLE, hOldOutput);

    const std::string expected = " 0\r\n-1\r\n-9223372036854775808\r\n 9223372036854775807        "
                                 " 1001000000\r\n";
    char bytes[256] = {0};
    DWORD got = 0;
    SetFilePointer(hFile, 0, NULL, FILE_BEGIN);
    ReadFile(hFile, bytes, sizeof bytes - 1, &got, NULL);
    CloseHandle(hFile);
    std::string difference = FirstDifference(Lines(expected), Lines(std::string(bytes, got)));
    printf("%s", difference.empty() ? "" : ("FAILED numbers\n" + difference).c_str());
    return difference.empty();
}

int main()
{
    hSink = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (!hSink) {
        printf("no message window\n0 passed, 1 failed\n");
        return 1;
    }
    int passed = 0, failed = 0;
    (NumbersPrintAsTheRuntimeDoes() ? passed : failed)++;
    for (const ProgressCase &c : ProgressCases()) {
        // Bring the last report's percentage back to 0 the way a run would: a full copy, then 0 bytes.
        Report(1, 1);
        Report(0, 1);
        TakePositions();
        for (const Call &call : c.calls)
            Report(call.transferred, call.total);
        std::vector<int> positions = TakePositions();
        if (positions == c.positions && !stopAsked) {
            ++passed;
            continue;
        }
        ++failed;
        printf("FAILED %s%s\n%s", c.name, stopAsked ? ": the routine asked the copy to stop" : "",
               FirstDifference({Text(c.positions)}, {Text(positions)}).c_str());
        stopAsked = 0;
    }
    fflush(stdout);
    printf("arithmetic: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
