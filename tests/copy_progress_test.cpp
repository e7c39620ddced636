// The copy progress routine: its steps, rounding and precision, call by call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy_progress_cases.h"
#include "fake_console.h"
#include "fake_messages.h"
#include "fresh_process.h"
#include "task/copy_progress.h"

namespace {

const HWND hWindow = (HWND)0x5e;

LARGE_INTEGER Large(long long value)
{
    LARGE_INTEGER result;
    result.QuadPart = value;
    return result;
}

DWORD Report(const Call &call)
{
    return OnCopyProgress(Large(call.total), Large(call.transferred), Large(call.total), Large(call.transferred), 1,
                          CALLBACK_CHUNK_FINISHED, NULL, NULL, hWindow);
}

class CopyProgress : public testing::TestWithParam<ProgressCase> {};

TEST_P(CopyProgress, PostsTheseBarPositions)
{
    const ProgressCase &c = GetParam();
    RunInFreshProcess([&] {
        for (const Call &call : c.calls)
            EXPECT_EQ(Report(call), (DWORD)PROGRESS_CONTINUE);
        std::vector<std::string> expected;
        for (int position : c.positions)
            expected.push_back(Posted(hWindow, 0x401, position));
        ExpectSequence(expected, PlatformLog());
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, CopyProgress, testing::ValuesIn(ProgressCases()),
                         [](const testing::TestParamInfo<ProgressCase> &info) { return info.param.name; });

// Output redirected to a file: the first line of the process starts in column -1.
TEST(CopyReport, EachReportIsOneLineOfBothCountsInZones)
{
    RunInFreshProcess([] {
        for (Call call : std::vector<Call>{{1, 1}, {0, 1001000000LL}, {500000, 1001000000LL},
                                           {1001000000LL, 1001000000LL}})
            Report(call);
        EXPECT_EQ(FakeFileBytes(), std::string(" 1             ") + " 1\r\n" +
                                       " 1001000000   " + " 0\r\n" +
                                       " 1001000000   " + " 1001000000\r\n");
    });
}

} // namespace

void PrintTo(const ProgressCase &c, std::ostream *out) { *out << c.name; }
