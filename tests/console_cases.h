// What the standard output writer leaves on a console: the screen, cursor and window after
// each case's writes. Shared by the native tests (against the console model in tests/fake/)
// and the test program that runs them on the platform's own console under Wine.
#ifndef SPINDLEWORK_CONSOLE_CASES_H
#define SPINDLEWORK_CONSOLE_CASES_H

#include <string>
#include <vector>

#include "task/std_output.h"

// Before each case row y of the buffer holds the letter 'a' + y in SEED_COLOURS, and the
// console's current colours (the writer's) are CASE_COLOURS.
const WORD SEED_COLOURS = '.';
const WORD CASE_COLOURS = 'C';

// One call to the writer, or what the user does to the console between calls.
struct ConsoleStep {
    enum Kind { TEXT, ZONED, LINE, ZONE_FILL, USER_WINDOW, READ_ACCESS_LOST } kind;
    std::string text;
    long long value;
    SMALL_RECT window;
};

inline ConsoleStep Put(const std::string &text) { return {ConsoleStep::TEXT, text, 0, {}}; }
inline ConsoleStep Zoned(long long value) { return {ConsoleStep::ZONED, "", value, {}}; }
inline ConsoleStep Line(long long value) { return {ConsoleStep::LINE, "", value, {}}; }
inline ConsoleStep Fill() { return {ConsoleStep::ZONE_FILL, "", 0, {}}; }
// The user moves or resizes the console window (absolute buffer coordinates).
inline ConsoleStep UserWindow(SMALL_RECT window) { return {ConsoleStep::USER_WINDOW, "", 0, window}; }
// Standard output's handle to the console can write but no longer read the console's state.
inline ConsoleStep ReadAccessLost() { return {ConsoleStep::READ_ACCESS_LOST, "", 0, {}}; }

// Makes a writer step; false for the user's steps, which each runner makes its own way.
inline bool RunWriterStep(const ConsoleStep &step)
{
    switch (step.kind) {
    case ConsoleStep::TEXT: WriteText(step.text.data(), (int)step.text.size()); return true;
    case ConsoleStep::ZONED: WriteInt64(step.value, ENDING_ZONE); return true;
    case ConsoleStep::LINE: WriteInt64(step.value, ENDING_LINE); return true;
    case ConsoleStep::ZONE_FILL: ZoneFill(); return true;
    default: return false;
    }
}

// The rows of a seeded buffer from row 0 down to the given ones: characters, or colours.
inline std::vector<std::string> SeedAbove(int width, int count, bool colours, std::vector<std::string> rows)
{
    for (int y = count - 1; y >= 0; --y)
        rows.insert(rows.begin(), std::string((size_t)width, colours ? '.' : (char)('a' + y % 26)));
    return rows;
}

inline std::string CoordText(COORD c) { return "(" + std::to_string(c.X) + "," + std::to_string(c.Y) + ")"; }

inline std::string RectText(SMALL_RECT r)
{
    return "{" + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom) + "}";
}

// The whole screen as lines, for one comparison: each row's characters and its colours (the
// attribute's low byte; colour 7 shows as 7), then the cursor and the window.
inline std::vector<std::string> ScreenLines(const std::vector<std::string> &rows, const std::vector<std::string> &colours,
                                            const std::string &cursor, const std::string &window)
{
    std::vector<std::string> lines;
    for (size_t y = 0; y < rows.size(); ++y) {
        std::string shown = colours[y];
        for (char &ch : shown)
            if ((unsigned char)ch < ' ') ch = (char)('0' + ch % 10);
        lines.push_back("|" + rows[y] + "|  |" + shown + "|");
    }
    lines.push_back("cursor " + cursor + ", window " + window);
    return lines;
}

struct ConsoleCase {
    const char *name;
    COORD size;
    SMALL_RECT window;
    COORD cursor;
    std::vector<ConsoleStep> steps;
    // The whole buffer afterwards (so also the cells just past each write): characters, and
    // colours as the attribute's low byte, one character per cell.
    std::vector<std::string> rows, colours;
    const char *cursorAfter, *windowAfter;
};

inline const std::vector<ConsoleCase> &ConsoleCases()
{
    using S = std::string;
    const S a10(10, 'a'), b10(10, 'b'), c10(10, 'c'), d10(10, 'd'), e10(10, 'e'), f10(10, 'f');
    const S g10(10, 'g'), h10(10, 'h'), seed10(10, '.'), case10(10, 'C'), blank10(10, ' ');
    const S seed20(20, '.'), cc10 = "CC" + S(8, '.');
    const S n1 = " 1aaaaaaaa", n2 = " 2bbbbbbbb", n3 = " 3cccccccc"; // rows that lines 1, 2, 3 ... were written to
    const S n4 = " 4dddddddd", n5 = " 5eeeeeeee", n6 = " 6ffffffff";
    static const std::vector<ConsoleCase> cases = {
        // The screen.
        {"ReportLine", {30, 3}, {0, 0, 29, 2}, {0, 0}, {Zoned(1001000000), Line(1001000000)},
         {" 1001000000    1001000000aaaaa", S(30, 'b'), S(30, 'c')}, {S(25, 'C') + ".....", S(30, '.'), S(30, '.')},
         "(0,1)", "{0,0,29,2}"},
        {"TwentyColumnsZoneFillEndsTheLine", {20, 3}, {0, 0, 19, 2}, {0, 0}, {Zoned(1001000000), Line(-5)},
         {" 1001000000aaaaaaaaa", "-5bbbbbbbbbbbbbbbbbb", S(20, 'c')},
         {"CCCCCCCCCCC.........", "CC..................", seed20}, "(0,2)", "{0,0,19,2}"},
        // The window shows 6 of the 13 columns; zones of a line narrower than 14 are always blanks.
        {"TextWrapsAtTheBufferEdgeNotTheWindows", {13, 3}, {0, 0, 5, 2}, {3, 0}, {Zoned(1001000000), Put("|")},
         {"aaa 100100000", "0            ", " |ccccccccccc"}, {"...CCCCCCCCCC", "CCCCCCCCCCCCC", "CC..........."},
         "(2,2)", "{0,0,5,2}"},
        // The console brings the window along to show the cursor, here sideways; moved down
        // by the writer from there, it then shows the buffer's whole width.
        {"WindowFollowsTheCursorSideways", {13, 4}, {0, 0, 5, 2}, {0, 0}, {Put("12345678")},
         {"12345678aaaaa", S(13, 'b'), S(13, 'c'), S(13, 'd')}, {"CCCCCCCC.....", S(13, '.'), S(13, '.'), S(13, '.')},
         "(8,0)", "{3,0,8,2}"},
        {"WindowFollowsTheCursorSidewaysThenMovesDownAtFullWidth", {13, 4}, {0, 0, 5, 2}, {0, 0},
         {Put("12345678"), Put("\n\n\n")}, {"12345678aaaaa", S(13, 'b'), S(13, 'c'), S(13, 'd')},
         {"CCCCCCCC.....", S(13, '.'), S(13, '.'), S(13, '.')}, "(0,3)", "{0,1,12,3}"},
        {"FullRowThenLineEndLeavesAnEmptyRow", {10, 4}, {0, 0, 9, 3}, {0, 0}, {Put("0123456789\r\nX")},
         {"0123456789", b10, "Xccccccccc", d10}, {case10, seed10, "C.........", seed10}, "(1,2)", "{0,0,9,3}"},
        {"EndOfARowTakesTheCursorToTheNextRow", {10, 4}, {0, 0, 9, 3}, {5, 1}, {Put("56789")},
         {a10, "bbbbb56789", c10, d10}, {seed10, ".....CCCCC", seed10, seed10}, "(0,2)", "{0,0,9,3}"},
        {"EndOfTheBottomRowKeepsTheCursorThere", {10, 4}, {0, 0, 9, 3}, {0, 3}, {Put("0123456789")},
         {a10, b10, c10, "0123456789"}, {seed10, seed10, seed10, case10}, "(9,3)", "{0,0,9,3}"},
        {"PendingLineFeedComesBeforeTheNextText", {10, 4}, {0, 0, 9, 3}, {0, 3}, {Put("0123456789"), Put("X")},
         {b10, c10, "0123456789", "X         "}, {seed10, seed10, case10, case10}, "(1,3)", "{0,0,9,3}"},
        {"LeadingLineFeedAfterAPendingOneMovesDownTwice", {10, 4}, {0, 0, 9, 3}, {0, 3},
         {Put("0123456789"), Put("\nX")},
         {c10, "0123456789", blank10, "X         "}, {seed10, case10, case10, case10}, "(1,3)", "{0,0,9,3}"},

        // Zone fill from the cursor's column: CR LF once 14 x (zone + 1) + 1 passes the width less 14.
        {"ZoneFillWidth13IsBlanks", {13, 2}, {0, 0, 12, 1}, {5, 0}, {Fill()},
         {"aaaaa        ", " bbbbbbbbbbbb"}, {".....CCCCCCCC", "C............"}, "(1,1)", "{0,0,12,1}"},
        {"ZoneFillWidth14EndsTheLine", {14, 2}, {0, 0, 13, 1}, {0, 0}, {Fill()},
         {S(14, 'a'), S(14, 'b')}, {S(14, '.'), S(14, '.')}, "(0,1)", "{0,0,13,1}"},
        {"ZoneFillWidth28EndsTheLine", {28, 2}, {0, 0, 27, 1}, {0, 0}, {Fill()},
         {S(28, 'a'), S(28, 'b')}, {S(28, '.'), S(28, '.')}, "(0,1)", "{0,0,27,1}"},
        {"ZoneFillWidth29IsAZoneOfBlanks", {29, 2}, {0, 0, 28, 1}, {0, 0}, {Fill()},
         {S(14, ' ') + S(15, 'a'), S(29, 'b')}, {S(14, 'C') + S(15, '.'), S(29, '.')}, "(14,0)", "{0,0,28,1}"},
        {"ZoneFillWidth42Column13IsOneBlank", {42, 2}, {0, 0, 41, 1}, {13, 0}, {Fill()},
         {S(13, 'a') + " " + S(28, 'a'), S(42, 'b')}, {S(13, '.') + "C" + S(28, '.'), S(42, '.')}, "(14,0)",
         "{0,0,41,1}"},
        {"ZoneFillWidth42Column14EndsTheLine", {42, 2}, {0, 0, 41, 1}, {14, 0}, {Fill()},
         {S(42, 'a'), S(42, 'b')}, {S(42, '.'), S(42, '.')}, "(0,1)", "{0,0,41,1}"},

        // The window shows 3 of 6 rows and 8 of 10 columns; once moved it is set to the buffer's full width.
        {"TwoLinesStayInTheWindow", {10, 6}, {0, 0, 7, 2}, {0, 0}, {Line(1), Line(2)},
         {n1, n2, c10, d10, e10, f10}, {cc10, cc10, seed10, seed10, seed10, seed10}, "(0,2)", "{0,0,7,2}"},
        {"ThirdLineMovesTheWindowDown", {10, 6}, {0, 0, 7, 2}, {0, 0}, {Line(1), Line(2), Line(3)},
         {n1, n2, n3, d10, e10, f10}, {cc10, cc10, cc10, seed10, seed10, seed10}, "(0,3)", "{0,1,9,3}"},
        {"FourthLineMovesItOnFromWhereItIs", {10, 6}, {0, 0, 7, 2}, {0, 0}, {Line(1), Line(2), Line(3), Line(4)},
         {n1, n2, n3, n4, e10, f10}, {cc10, cc10, cc10, cc10, seed10, seed10}, "(0,4)", "{0,2,9,4}"},
        {"FifthLineTakesTheWindowToTheBufferEnd", {10, 6}, {0, 0, 7, 2}, {0, 0},
         {Line(1), Line(2), Line(3), Line(4), Line(5)},
         {n1, n2, n3, n4, n5, f10}, {cc10, cc10, cc10, cc10, cc10, seed10}, "(0,5)", "{0,3,9,5}"},
        {"SixthLineScrollsTheContent", {10, 6}, {0, 0, 7, 2}, {0, 0},
         {Line(1), Line(2), Line(3), Line(4), Line(5), Line(6)},
         {n2, n3, n4, n5, n6, blank10}, {cc10, cc10, cc10, cc10, cc10, case10}, "(0,5)", "{0,3,9,5}"},
        {"LineFeedsMoveTheWindowToTheBufferEndThenScroll", {10, 6}, {0, 0, 9, 2}, {0, 0}, {Put("\n\n\n\n\n\n\n\n")},
         {d10, e10, f10, blank10, blank10, blank10}, {seed10, seed10, seed10, case10, case10, case10}, "(0,5)",
         "{0,3,9,5}"},
        // Four of six rows: the rows freed at the bottom reach above the rows that move.
        {"ScrollByMoreThanHalfTheBufferBlanksEveryFreedRow", {10, 6}, {0, 3, 9, 5}, {0, 5}, {Put("X\n\n\n\nY")},
         {e10, "Xfffffffff", blank10, blank10, blank10, "Y         "}, {seed10, "C.........", case10, case10, case10, case10},
         "(1,5)", "{0,3,9,5}"},
        {"LineFeedsPastTheWholeBufferBlankIt", {10, 4}, {0, 0, 9, 3}, {0, 3}, {Put("\n\n\n\n\n")},
         {blank10, blank10, blank10, blank10}, {case10, case10, case10, case10}, "(0,3)", "{0,0,9,3}"},

        // The user changes the window between lines; the writer then leaves the window to the
        // console, which only scrolls it far enough to show the cursor.
        {"ResizedWindowIsNotForcedBackToItsFirstSize", {10, 8}, {0, 0, 9, 3}, {0, 0},
         {Line(1), UserWindow({0, 0, 7, 5}), Line(2), Line(3), Line(4), Line(5), Line(6)},
         {n1, n2, n3, n4, n5, n6, g10, h10},
         {cc10, cc10, cc10, cc10, cc10, cc10, seed10, seed10}, "(0,6)", "{0,1,7,6}"},
        {"ScrolledWindowIsNotForcedBackToItsRows", {10, 8}, {0, 0, 7, 2}, {0, 0},
         {Line(1), Line(2), Line(3), UserWindow({0, 0, 7, 2}), Line(4)},
         {n1, n2, n3, n4, e10, f10, g10, h10},
         {cc10, cc10, cc10, cc10, seed10, seed10, seed10, seed10}, "(0,4)", "{0,2,7,4}"},
        // Shrunk to its last two rows, the window's remembered four rows would reach past the buffer.
        {"ShrunkWindowAtTheBufferEndDoesNotOverwriteTheLastRow", {10, 6}, {0, 2, 9, 5}, {0, 5},
         {Line(1), UserWindow({0, 4, 9, 5}), Line(2), Line(3)},
         {d10, e10, " 1ffffffff", " 2        ", " 3        ", blank10},
         {seed10, seed10, cc10, case10, case10, case10}, "(0,5)", "{0,4,9,5}"},

        // Consoles one column wide or with a window of one row are written to as files (the
        // console puts the bytes at its cursor), with line width 80 from the cursor's column
        // less 1: here a zone fill of 13 blanks, then 4 from the column -1.
        {"WindowOfOneRowIsWrittenAsAFile", {20, 3}, {0, 1, 19, 1}, {5, 1}, {Zoned(1001000000)},
         {S(20, 'a'), "bbbbb 1001000000    ", "         ccccccccccc"},
         {seed20, ".....CCCCCCCCCCCCCCC", "CCCCCCCCC..........."}, "(9,2)", "{0,2,19,2}"},
        {"BufferOfOneColumnIsWrittenAsAFile_NarrowerThanWindowsAllows_WineAndTheModel", {1, 16}, {0, 0, 0, 15}, {0, 0}, {Zoned(1001000000)},
         {" ", "1", "0", "0", "1", "0", "0", "0", "0", "0", "0", " ", " ", " ", " ", "p"},
         {"C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "C", "."}, "(0,15)", "{0,0,0,15}"},
        // A write that leaves a window of one row ends console writes for good: the last text
        // goes to the console as bytes, so its line feeds move the window no wider than it is.
        {"WindowOfOneRowAfterAWriteEndsConsoleWritesForGood", {20, 6}, {0, 0, 9, 3}, {0, 0},
         {Put("1"), UserWindow({0, 0, 9, 0}), Put("2"), UserWindow({0, 0, 9, 3}), Put("3\n\n\n\n")},
         {"123" + S(17, 'a'), S(20, 'b'), S(20, 'c'), S(20, 'd'), S(20, 'e'), S(20, 'f')},
         {"CCC" + S(17, '.'), seed20, seed20, seed20, seed20, seed20}, "(0,4)", "{0,1,9,4}"},
        // The first line moves the window's top row to 1. Unreadable, the next write goes from
        // column 0 of that row in colour 7 and ends on the row where the console's cursor is;
        // then the writer goes plain, and its zone fill counts in the console's 20 columns.
        {"UnreadableStateWritesFromTheWindowTopThenGoesPlain", {20, 6}, {0, 0, 19, 2}, {4, 2},
         {Put("12\r\n"), ReadAccessLost(), Put("345\r\n\r\n"), Put("6"), Fill()},
         {S(20, 'a'), "345" + S(17, 'b'), "cccc12" + S(14, 'c'), "6" + S(19, 'd'), S(20, 'e'), S(20, 'f')},
         {seed20, "\7\7\7" + S(17, '.'), "....CC" + S(14, '.'), "C" + S(19, '.'), seed20, seed20}, "(0,4)",
         "{0,2,19,4}"},
        // With history above the window, the guessed 80 x 25 buffer must not scroll or blank it.
        {"UnreadableStateLeavesTheHistoryAboveTheWindow", {80, 30}, {0, 26, 79, 28}, {0, 27},
         {Put("1\r\n"), ReadAccessLost(), Put("X\r\n\r\n")},
         SeedAbove(80, 26, false, {"X" + S(79, 'a'), "1" + S(79, 'b'), S(80, 'c'), S(80, 'd')}),
         SeedAbove(80, 26, true, {"\7" + S(79, '.'), "C" + S(79, '.'), S(80, '.'), S(80, '.')}), "(0,28)",
         "{0,26,79,28}"},
    };
    return cases;
}

#endif
