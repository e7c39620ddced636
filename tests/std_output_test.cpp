// The standard output writer: bytes to a file, zones, failing writes, and what a console user sees.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "fake_console.h"
#include "fresh_process.h"
#include "task/std_output.h"

namespace {

const WORD colours = 'C';

std::string Text(COORD c) { return "(" + std::to_string(c.X) + "," + std::to_string(c.Y) + ")"; }

std::string Text(SMALL_RECT r)
{
    return "{" + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom) + "}";
}

std::vector<std::string> Rows(int count)
{
    std::vector<std::string> rows;
    for (int y = 0; y < count; ++y)
        rows.push_back(FakeRow(y));
    return rows;
}

std::vector<std::string> ColourRows(int count)
{
    std::vector<std::string> rows;
    for (int y = 0; y < count; ++y)
        rows.push_back(FakeColours(y));
    return rows;
}

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

// A console one column wide or one window row high is written to as a file, from the cursor's column less 1.
struct SmallConsoleCase {
    const char *name;
    COORD size;
    SMALL_RECT window;
    COORD cursor;
    std::string fill;
};

void PrintTo(const SmallConsoleCase &c, std::ostream *out) { *out << c.name; }

const SmallConsoleCase smallConsoleCases[] = {
    {"WindowOfOneRow", {20, 3}, {0, 1, 19, 1}, {5, 1}, std::string(13, ' ')},
    {"BufferOfOneColumn", {1, 5}, {0, 0, 0, 4}, {0, 2}, "    "},
};

class SmallConsole : public testing::TestWithParam<SmallConsoleCase> {};

TEST_P(SmallConsole, TakesBytesWithLineWidth80)
{
    const SmallConsoleCase &c = GetParam();
    RunInFreshProcess([&] {
        FakeUseConsole(c.size, c.window, c.cursor, colours);
        std::vector<std::string> seeded = Rows(c.size.Y);
        WriteInt64(1001000000, ENDING_ZONE);
        EXPECT_EQ(FakeFileBytes(), " 1001000000" + c.fill);
        EXPECT_EQ(Rows(c.size.Y), seeded);
        EXPECT_EQ(Text(FakeCursor()), Text(c.cursor));
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, SmallConsole, testing::ValuesIn(smallConsoleCases), CaseName<SmallConsoleCase>);

// The console. Row y starts as the letter 'a' + y in '.' colours; the writer's colours are 'C'.
struct ScreenCase {
    const char *name;
    COORD size;
    SMALL_RECT window;
    COORD cursor;
    void (*writes)();
    std::vector<std::string> rows, colours;
    const char *cursorAfter, *windowAfter;
};

void PrintTo(const ScreenCase &c, std::ostream *out) { *out << c.name; }

void Write(const char *text) { WriteText(text, (int)strlen(text)); }

const ScreenCase screenCases[] = {
    {"ReportLine", {30, 3}, {0, 0, 29, 2}, {0, 0},
     [] {
         WriteInt64(1001000000, ENDING_ZONE);
         WriteInt64(1001000000, ENDING_LINE);
     },
     {" 1001000000    1001000000aaaaa", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", "cccccccccccccccccccccccccccccc"},
     {"CCCCCCCCCCCCCCCCCCCCCCCCC.....", "..............................", ".............................."},
     "(0,1)", "{0,0,29,2}"},
    {"TwentyColumnsZoneFillEndsTheLine", {20, 3}, {0, 0, 19, 2}, {0, 0},
     [] {
         WriteInt64(1001000000, ENDING_ZONE);
         WriteInt64(-5, ENDING_LINE);
     },
     {" 1001000000aaaaaaaaa", "-5bbbbbbbbbbbbbbbbbb", "cccccccccccccccccccc"},
     {"CCCCCCCCCCC.........", "CC..................", "...................."}, "(0,2)", "{0,0,19,2}"},
    // The window shows 6 of the 13 columns; zones of a line narrower than 14 are always blanks.
    {"TextWrapsAtTheBufferEdgeNotTheWindows", {13, 3}, {0, 0, 5, 2}, {3, 0},
     [] {
         WriteInt64(1001000000, ENDING_ZONE);
         Write("|");
     },
     {"aaa 100100000", "0            ", " |ccccccccccc"}, {"...CCCCCCCCCC", "CCCCCCCCCCCCC", "CC..........."},
     "(2,2)", "{0,0,5,2}"},
    {"FullRowThenLineEndLeavesAnEmptyRow", {10, 4}, {0, 0, 9, 3}, {0, 0}, [] { Write("0123456789\r\nX"); },
     {"0123456789", "bbbbbbbbbb", "Xccccccccc", "dddddddddd"}, {"CCCCCCCCCC", "..........", "C.........", ".........."},
     "(1,2)", "{0,0,9,3}"},
    {"EndOfARowTakesTheCursorToTheNextRow", {10, 4}, {0, 0, 9, 3}, {5, 1}, [] { Write("56789"); },
     {"aaaaaaaaaa", "bbbbb56789", "cccccccccc", "dddddddddd"}, {"..........", ".....CCCCC", "..........", ".........."},
     "(0,2)", "{0,0,9,3}"},
    {"EndOfTheBottomRowKeepsTheCursorThere", {10, 4}, {0, 0, 9, 3}, {0, 3}, [] { Write("0123456789"); },
     {"aaaaaaaaaa", "bbbbbbbbbb", "cccccccccc", "0123456789"}, {"..........", "..........", "..........", "CCCCCCCCCC"},
     "(9,3)", "{0,0,9,3}"},
    {"PendingLineFeedComesBeforeTheNextText", {10, 4}, {0, 0, 9, 3}, {0, 3},
     [] {
         Write("0123456789");
         Write("X");
     },
     {"bbbbbbbbbb", "cccccccccc", "0123456789", "X         "}, {"..........", "..........", "CCCCCCCCCC", "CCCCCCCCCC"},
     "(1,3)", "{0,0,9,3}"},
    {"LeadingLineFeedAfterAPendingOneMovesDownTwice", {10, 4}, {0, 0, 9, 3}, {0, 3},
     [] {
         Write("0123456789");
         Write("\nX");
     },
     {"cccccccccc", "0123456789", "          ", "X         "}, {"..........", "CCCCCCCCCC", "CCCCCCCCCC", "CCCCCCCCCC"},
     "(1,3)", "{0,0,9,3}"},
    {"LineFeedsMoveTheWindowToTheBufferEndThenScroll", {10, 6}, {0, 0, 9, 2}, {0, 0}, [] { Write("\n\n\n\n\n\n\n\n"); },
     {"dddddddddd", "eeeeeeeeee", "ffffffffff", "          ", "          ", "          "},
     {"..........", "..........", "..........", "CCCCCCCCCC", "CCCCCCCCCC", "CCCCCCCCCC"}, "(0,5)", "{0,3,9,5}"},
    {"LineFeedsPastTheWholeBufferBlankIt", {10, 4}, {0, 0, 9, 3}, {0, 3}, [] { Write("\n\n\n\n\n"); },
     {"          ", "          ", "          ", "          "}, {"CCCCCCCCCC", "CCCCCCCCCC", "CCCCCCCCCC", "CCCCCCCCCC"},
     "(0,3)", "{0,0,9,3}"},
};

class Screen : public testing::TestWithParam<ScreenCase> {};

TEST_P(Screen, ShowsThis)
{
    const ScreenCase &c = GetParam();
    RunInFreshProcess([&] {
        FakeUseConsole(c.size, c.window, c.cursor, colours);
        c.writes();
        EXPECT_EQ(Rows(c.size.Y), c.rows);
        EXPECT_EQ(ColourRows(c.size.Y), c.colours);
        EXPECT_EQ(Text(FakeCursor()), c.cursorAfter);
        EXPECT_EQ(Text(FakeWindow()), c.windowAfter);
        EXPECT_EQ(FakeFileBytes(), "");
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, Screen, testing::ValuesIn(screenCases), CaseName<ScreenCase>);

// Zone fill from the cursor's column on consoles of these widths: CR LF once 14 x (zone + 1) + 1 passes width - 14.
TEST(Console, ZoneFillByLineWidth)
{
    const struct {
        SHORT width, column;
        const char *cursorAfter;
    } cases[] = {
        {13, 5, "(1,1)"}, {14, 0, "(0,1)"}, {28, 0, "(0,1)"}, {29, 0, "(14,0)"}, {42, 13, "(14,0)"}, {42, 14, "(0,1)"},
    };
    for (const auto &c : cases)
        RunInFreshProcess([&] {
            FakeUseConsole({c.width, 3}, {0, 0, (SHORT)(c.width - 1), 2}, {c.column, 0}, colours);
            ZoneFill();
            EXPECT_EQ(Text(FakeCursor()), c.cursorAfter) << "width " << c.width << ", column " << c.column;
        });
}

// The window shows 3 of 6 rows and 8 of 10 columns; once moved it is set to the buffer's full width.
TEST(Console, WindowMovesDownThroughTheBufferThenTheContentScrolls)
{
    const struct {
        const char *cursor, *window, *firstRow;
    } afterLine[] = {
        {"(0,1)", "{0,0,7,2}", " 1aaaaaaaa"}, {"(0,2)", "{0,0,7,2}", " 1aaaaaaaa"},
        {"(0,3)", "{0,1,9,3}", " 1aaaaaaaa"}, {"(0,4)", "{0,2,9,4}", " 1aaaaaaaa"},
        {"(0,5)", "{0,3,9,5}", " 1aaaaaaaa"}, {"(0,5)", "{0,3,9,5}", " 2bbbbbbbb"},
    };
    RunInFreshProcess([&] {
        FakeUseConsole({10, 6}, {0, 0, 7, 2}, {0, 0}, colours);
        for (int line = 0; line < 6; ++line) {
            WriteInt64(line + 1, ENDING_LINE);
            EXPECT_EQ(Text(FakeCursor()), afterLine[line].cursor) << "line " << line + 1;
            EXPECT_EQ(Text(FakeWindow()), afterLine[line].window) << "line " << line + 1;
            EXPECT_EQ(FakeRow(0), afterLine[line].firstRow) << "line " << line + 1;
        }
        EXPECT_EQ(Rows(6), (std::vector<std::string>{" 2bbbbbbbb", " 3cccccccc", " 4dddddddd", " 5eeeeeeee",
                                                     " 6ffffffff", "          "}));
        EXPECT_EQ(FakeColours(4), "CC........");
        EXPECT_EQ(FakeColours(5), "CCCCCCCCCC");
    });
}

// The user changes the window between lines; the writer then leaves the window to the console,
// which only scrolls it far enough to show the cursor.
struct UserWindowCase {
    const char *name;
    SMALL_RECT window;
    int linesBefore;
    SMALL_RECT userWindow;
    int lines;
    const char *windowAfter, *cursorAfter;
};

void PrintTo(const UserWindowCase &c, std::ostream *out) { *out << c.name; }

const UserWindowCase userWindowCases[] = {
    {"ResizedWindowIsNotForcedBackToItsFirstSize", {0, 0, 9, 3}, 1, {0, 0, 7, 5}, 6, "{0,1,7,6}", "(0,6)"},
    {"ScrolledWindowIsNotForcedBackToItsRows", {0, 0, 7, 2}, 3, {0, 0, 7, 2}, 4, "{0,2,7,4}", "(0,4)"},
};

class UserWindow : public testing::TestWithParam<UserWindowCase> {};

TEST_P(UserWindow, EndsThere)
{
    const UserWindowCase &c = GetParam();
    RunInFreshProcess([&] {
        FakeUseConsole({10, 8}, c.window, {0, 0}, colours);
        for (int line = 1; line <= c.lines; ++line) {
            WriteInt64(line, ENDING_LINE);
            if (line == c.linesBefore)
                FakeSetConsoleWindow(c.userWindow);
        }
        EXPECT_EQ(Text(FakeWindow()), c.windowAfter);
        EXPECT_EQ(Text(FakeCursor()), c.cursorAfter);
        EXPECT_EQ(FakeRow(c.lines - 1), " " + std::to_string(c.lines) + std::string(8, 'a' + c.lines - 1));
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, UserWindow, testing::ValuesIn(userWindowCases), CaseName<UserWindowCase>);

// Shrunk to its last two rows, the window's remembered four rows would reach past the buffer.
TEST(Console, ShrunkWindowAtTheBufferEndDoesNotOverwriteTheLastRow)
{
    RunInFreshProcess([] {
        FakeUseConsole({10, 6}, {0, 2, 9, 5}, {0, 5}, colours);
        WriteInt64(1, ENDING_LINE);
        FakeSetConsoleWindow({0, 4, 9, 5});
        WriteInt64(2, ENDING_LINE);
        WriteInt64(3, ENDING_LINE);
        EXPECT_EQ(Rows(6), (std::vector<std::string>{"dddddddddd", "eeeeeeeeee", " 1ffffffff", " 2        ",
                                                     " 3        ", "          "}));
        EXPECT_EQ(Text(FakeCursor()), "(0,5)");
    });
}

// The first line moves the window's top row to 1, the cursor to row 3: the fallback writes at row 1 in colour 7.
TEST(Console, UnreadableStateWritesFromTheWindowTopThenGoesPlain)
{
    RunInFreshProcess([] {
        FakeUseConsole({20, 6}, {0, 0, 19, 2}, {4, 2}, colours);
        Write("12\r\n");
        FakeFailConsoleInfo(true);
        Write("345");
        FakeFailConsoleInfo(false);
        Write("6");
        ZoneFill();
        EXPECT_EQ(FakeRow(1), "345bbbbbbbbbbbbbbbbb");
        EXPECT_EQ(FakeColours(1).substr(0, 4), "\7\7\7.");
        EXPECT_EQ(FakeRow(2), "cccc12cccccccccccccc");
        EXPECT_EQ(Text(FakeCursor()), "(3,1)");
        // Column 4 on a line of the console's 20 columns, not 80.
        EXPECT_EQ(FakeFileBytes(), "6\r\n");
    });
}

TEST(Console, WindowOfOneRowAfterAWriteEndsConsoleWritesForGood)
{
    RunInFreshProcess([] {
        FakeUseConsole({20, 4}, {0, 0, 19, 3}, {0, 0}, colours);
        Write("1");
        FakeSetConsoleWindow({0, 0, 19, 0});
        Write("2");
        FakeSetConsoleWindow({0, 0, 19, 3});
        Write("3");
        EXPECT_EQ(FakeRow(0), "12aaaaaaaaaaaaaaaaaa");
        EXPECT_EQ(FakeFileBytes(), "3");
    });
}

} // namespace
