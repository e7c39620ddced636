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

// Output redirected to a file, formatted here by glibc (copy_arithmetic: a Windows runtime's).
TEST(CopyReport, EachReportIsOneLineOfBothCountsInZones)
{
    RunInFreshProcess([] {
        for (const Call &call : ReportLines().calls)
            Report(call);
        EXPECT_EQ(FakeFileBytes(), ReportLines().bytes);
    });
}

} // namespace

void PrintTo(const ProgressCase &c, std::ostream *out) { *out << c.name; }
