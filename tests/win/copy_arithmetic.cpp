// The copy progress cases run by the real routine, built with the shipped compiler flags
// and posting to a real (message-only) window.
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

int main()
{
    hSink = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (!hSink) {
        printf("no message window\n0 passed, 1 failed\n");
        return 1;
    }
    SetStdHandle(STD_OUTPUT_HANDLE, NULL); // the report lines go nowhere; printf's stay
    int passed = 0, failed = 0;
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
