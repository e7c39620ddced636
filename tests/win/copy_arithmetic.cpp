// The copy progress cases run by the real routine, built with the shipped compiler flags
// and posting to a real (message-only) window; and its report lines, past 2^31 and 2^32, as
// the build's C runtime formats them (under Wine, Wine's msvcrt), read back from a file.
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

static void Report(const Call &call)
{
    LARGE_INTEGER size, done;
    size.QuadPart = call.total;
    done.QuadPart = call.transferred;
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

int main()
{
    hSink = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (!hSink) {
        printf("no message window\n0 passed, 1 failed\n");
        return 1;
    }
    // The report lines go to a file, printf's stay: set before the writer's first write, which
    // takes the handle for good, so the file gets the process's first line.
    HANDLE hOutput = CreateFileA("copy_arithmetic.out", GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                 FILE_FLAG_DELETE_ON_CLOSE, NULL);
    SetStdHandle(STD_OUTPUT_HANDLE, hOutput);
    for (const Call &call : ReportLines().calls)
        Report(call);
    std::string bytes(1024, '\0');
    DWORD got = 0; // stays 0 when the read fails
    SetFilePointer(hOutput, 0, NULL, FILE_BEGIN);
    ReadFile(hOutput, &bytes[0], (DWORD)bytes.size(), &got, NULL);
    bytes.resize(got);
    int passed = bytes == ReportLines().bytes, failed = !passed;
    if (failed)
        printf("FAILED report lines\n%s", FirstDifference(Lines(ReportLines().bytes), Lines(bytes)).c_str());
    for (const ProgressCase &c : ProgressCases()) {
        // Bring the last report's percentage back to 0 the way a run would: a full copy, then 0 bytes.
        Report({1, 1});
        Report({0, 1});
        TakePositions();
        for (const Call &call : c.calls)
            Report(call);
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
