// The standard output writer: bytes to a file, zones, failing writes, and what a console user sees.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "console_cases.h"
#include "fake_console.h"
#include "fake_messages.h"
#include "fresh_process.h"
#include "task/std_output.h"

// In ConsoleCase's namespace, where GoogleTest's lookup finds it.
void PrintTo(const ConsoleCase &c, std::ostream *out) { *out << c.name; }

namespace {

template <typename Case> std::string CaseName(const testing::TestParamInfo<Case> &info) { return info.param.name; }

// Standard output redirected to a file.

TEST(FileOutput, ReportLinesLineUpInZonesFromColumnMinusOne)
{
    RunInFreshProcess([] {
        for (int line = 0; line < 2; ++line) {
            WriteInt64(1001000000, ENDING_ZONE);
            WriteInt64(1001000000, ENDING_LINE);
        }
        EXPECT_EQ(FakeFileBytes(), " 1001000000     1001000000\r\n"
                                   " 1001000000    1001000000\r\n");
        EXPECT_EQ(FakeInputMode(), 0x0006u | ENABLE_PROCESSED_INPUT);
    });
}

TEST(FileOutput, Int64AsSpacePlusI64dWithLineEndInOneWrite)
{
    const struct {
        LONGLONG value;
        const char *text;
    } values[] = {{0, " 0"},
                  {7, " 7"},
                  {-1, "-1"},
                  {1001000000, " 1001000000"},
                  {LLONG_MAX, " 9223372036854775807"},
                  {LLONG_MIN, "-9223372036854775808"}};
    RunInFreshProcess([&] {
        for (const auto &v : values) {
            size_t before = FakeFileBytes().size();
            int calls = FakeWriteFileCalls();
            WriteInt64(v.value, ENDING_LINE);
            EXPECT_EQ(FakeFileBytes().substr(before), std::string(v.text) + "\r\n");
            EXPECT_EQ(FakeWriteFileCalls() - calls, 1) << v.text;
        }
    });
}

struct ZoneCase {
    const char *name;
    std::string text; // written first, from the column -1 of a fresh file output
    std::string fill;
};

void PrintTo(const ZoneCase &c, std::ostream *out) { *out << c.name; }

const ZoneCase zoneCases[] = {
    {"FirstLineColumnTen", std::string(11, '9'), "    "},
    {"Column11", "\n" + std::string(11, '9'), "   "},
    {"Column13", "\n" + std::string(13, '9'), " "},
    {"ZoneStartGetsAWholeZone", "\n" + std::string(14, '9'), std::string(14, ' ')},
    {"Column55StillBlanks", "\n" + std::string(55, '9'), " "},
    {"Column56EndsTheLine", "\n" + std::string(56, '9'), "\r\n"},
    {"ColumnWrapsAtLineWidth80", "\n" + std::string(85, '9'), std::string(9, ' ')},
    {"CountsFromTheLastLineFeed", "ab\r\ncde", std::string(11, ' ')},
    {"CountsFromTheLastCarriageReturn", "abcdef\rxy", std::string(12, ' ')},
    {"EmptyTextTakesMinusOneAsUnsigned", "", std::string(13, ' ')},
};

class ZoneFillInFile : public testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneFillInFile, WritesThisFill)
{
    const ZoneCase &c = GetParam();
    RunInFreshProcess([&] {
        WriteText(c.text.data(), (int)c.text.size());
        size_t before = FakeFileBytes().size();
        ZoneFill();
        EXPECT_EQ(FakeFileBytes().substr(before), c.fill);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, ZoneFillInFile, testing::ValuesIn(zoneCases), CaseName<ZoneCase>);

// A zoned value, then a line; the dropped parts still move the column on.
struct FileWriteCase {
    const char *name;
    void (*setUp)();
    std::string bytes;
    int calls;
};

void PrintTo(const FileWriteCase &c, std::ostream *out) { *out << c.name; }

const FileWriteCase fileWriteCases[] = {
    {"AllTaken", [] { FakeUseFile(); }, " 1001000000     7\r\n", 3},
    {"PartialWriteIsRetried", [] { FakeUseFile({5}); }, " 1001000000     7\r\n", 4},
    {"EachPartIsRetried", [] { FakeUseFile({5, 3, 1}); }, " 1001000000     7\r\n", 6},
    {"ZeroByteWriteEndsTheWriteInsteadOfSpinning", [] { FakeUseFile({5, 0}); }, " 1001     7\r\n", 4},
    {"FailedWriteDropsTheTextButNotTheColumn", [] { FakeUseFile({-1}); }, "     7\r\n", 3},
    {"FailureAfterAPartDropsTheRest", [] { FakeUseFile({5, -1}); }, " 1001     7\r\n", 4},
    {"NoOutputHandle", [] { FakeUseNoOutput(NULL); }, "", 3},
    {"InvalidOutputHandle", [] { FakeUseNoOutput(INVALID_HANDLE_VALUE); }, "", 3},
};

class FileWrites : public testing::TestWithParam<FileWriteCase> {};

TEST_P(FileWrites, ArriveAsTheseBytes)
{
    const FileWriteCase &c = GetParam();
    RunInFreshProcess([&] {
        c.setUp();
        WriteInt64(1001000000, ENDING_ZONE);
        WriteInt64(7, ENDING_LINE);
        EXPECT_EQ(FakeFileBytes(), c.bytes);
        EXPECT_EQ(FakeWriteFileCalls(), c.calls);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, FileWrites, testing::ValuesIn(fileWriteCases), CaseName<FileWriteCase>);

// The console cases, against the console model.
static_assert(FAKE_SEED_COLOURS == SEED_COLOURS, "the model seeds the buffer as the cases expect");

class Console : public testing::TestWithParam<ConsoleCase> {};

TEST_P(Console, ShowsThis)
{
    const ConsoleCase &c = GetParam();
    RunInFreshProcess([&] {
        FakeUseConsole(c.size, c.window, c.cursor, CASE_COLOURS);
        for (const ConsoleStep &step : c.steps) {
            if (RunWriterStep(step))
                continue;
            if (step.kind == ConsoleStep::USER_WINDOW)
                FakeSetConsoleWindow(step.window);
            else
                FakeLoseReadAccess();
        }
        std::vector<std::string> rows, colours;
        for (int y = 0; y < c.size.Y; ++y)
            rows.push_back(FakeRow(y)), colours.push_back(FakeColours(y));
        ExpectSequence(ScreenLines(c.rows, c.colours, c.cursorAfter, c.windowAfter),
                       ScreenLines(rows, colours, CoordText(FakeCursor()), RectText(FakeWindow())));
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, Console, testing::ValuesIn(ConsoleCases()), CaseName<ConsoleCase>);

// Runs of text around the 128 cells the writer puts at a time, on a buffer wider than the
// platform's own console runner seeds (128 cells a row), so here only.
std::vector<ConsoleCase> LongRunCases()
{
    std::string digits;
    for (int i = 0; i < 26; ++i)
        digits += "0123456789";
    auto run = [&](const char *name, int length, const char *cursorAfter) {
        std::string text = digits.substr(0, (size_t)length), seed(300 - (size_t)length, '.');
        return ConsoleCase{name, {300, 2}, {0, 0, 299, 1}, {0, 0}, {Put(text)},
                           {text + std::string(300 - (size_t)length, 'a'), std::string(300, 'b')},
                           {std::string((size_t)length, 'C') + seed, std::string(300, '.')}, cursorAfter, "{0,0,299,1}"};
    };
    return {run("Run127", 127, "(127,0)"), run("Run128", 128, "(128,0)"), run("Run129", 129, "(129,0)"),
            run("Run256", 256, "(256,0)")};
}

INSTANTIATE_TEST_SUITE_P(LongRuns, Console, testing::ValuesIn(LongRunCases()), CaseName<ConsoleCase>);

} // namespace
