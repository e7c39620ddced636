// Standard output writer: text as bytes to a file or pipe, or into the console's screen buffer, in 14-column zones.
#include "task/std_output.h"

#include <cstdio>

// Standard-output state, set up by the first write of the process and kept until it ends.
// Only the worker thread writes, and only one worker runs at a time, so none of it is locked.
static bool isSetUp = false;
static HANDLE hStdOutput = NULL;
static bool consoleMode = false;    // once false after set-up, it stays false
static LONG lineWidth = 80;         // fixed at set-up
static LONG column = 0;             // our own count of the next character's column
static LONG windowTop = 0;          // the console window's top row, as read after the last console write
static LONG windowHeight = 0;       // the console window's height when we first looked
static bool lineFeedPending = false; // the last write filled the window's bottom row to its last cell

static const int zoneWidth = 14;

// Text goes into the screen buffer only for a console more than one column wide whose window shows more than one row.
static bool IsRoomyConsole(const CONSOLE_SCREEN_BUFFER_INFO &info)
{
    return info.dwSize.X > 1 && info.srWindow.Top != info.srWindow.Bottom;
}

static void SetUpOutput()
{
    isSetUp = true;
    hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(hStdOutput, &info)) {
        consoleMode = IsRoomyConsole(info);
        if (consoleMode) {
            lineWidth = info.dwSize.X;
            column = info.dwCursorPosition.X;
        } else {
            column = info.dwCursorPosition.X - 1;
        }
        windowTop = info.srWindow.Top;
        windowHeight = info.srWindow.Bottom - info.srWindow.Top + 1;
    } else {
        column = -1;
    }

    HANDLE hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    DWORD inputMode;
    if (GetConsoleMode(hStdInput, &inputMode))
        SetConsoleMode(hStdInput, inputMode | ENABLE_PROCESSED_INPUT);
}

// Whatever is not taken is dropped: a failed write, or one that takes nothing, ends it.
static void WriteBytes(const char *text, DWORD length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(hStdOutput, text, length, &written, NULL) || written == 0)
            return;
        if (written > length)
            written = length;
        text += written;
        length -= written;
    }
}

// Puts count characters into one row of the screen buffer from column x on.
static void PutCells(const char *text, int count, int x, int y, WORD attributes)
{
    CHAR_INFO cells[128];
    while (count > 0) {
        int chunk = count < 128 ? count : 128;
        for (int i = 0; i < chunk; ++i) {
            cells[i].Char.UnicodeChar = 0;
            cells[i].Char.AsciiChar = text[i];
            cells[i].Attributes = attributes;
        }
        COORD size = {(SHORT)chunk, 1};
        COORD from = {0, 0};
        SMALL_RECT region = {(SHORT)x, (SHORT)y, (SHORT)(x + chunk - 1), (SHORT)y};
        WriteConsoleOutputA(hStdOutput, cells, size, from, &region);
        text += chunk;
        count -= chunk;
        x += chunk;
    }
}

// Moves the whole buffer's content up by rows and blanks the freed rows at the bottom in the given colours.
static void ScrollBufferUp(int rows, COORD bufferSize, WORD attributes)
{
    if (rows > bufferSize.Y)
        rows = bufferSize.Y;
    if (rows < bufferSize.Y) {
        // The rows below the first ones move to the top. (Wine refuses the same move written as
        // the whole buffer to a row above it, which Windows would clip.)
        SMALL_RECT below = {0, (SHORT)rows, (SHORT)(bufferSize.X - 1), (SHORT)(bufferSize.Y - 1)};
        COORD top = {0, 0};
        CHAR_INFO blank;
        blank.Char.UnicodeChar = 0;
        blank.Char.AsciiChar = ' ';
        blank.Attributes = attributes;
        ScrollConsoleScreenBufferA(hStdOutput, &below, NULL, top, &blank);
    }
    // The scroll blanks only the rows it moved away from: too few when more than half the buffer goes.
    DWORD cells = (DWORD)bufferSize.X * (DWORD)rows;
    DWORD written;
    COORD freed = {0, (SHORT)(bufferSize.Y - rows)};
    FillConsoleOutputCharacterA(hStdOutput, ' ', cells, freed, &written);
    FillConsoleOutputAttribute(hStdOutput, attributes, cells, freed, &written);
}

// The bottom row of the window rows that start at top; they never reach past the buffer's last row.
static int WindowBottom(int top, COORD bufferSize)
{
    int bottom = top + windowHeight - 1;
    return bottom < bufferSize.Y - 1 ? bottom : bufferSize.Y - 1;
}

// The cursor row *y has gone below the window rows that start at *top: the window goes down
// through the buffer as far as its last row, then the content scrolls up for the rest.
// The cursor ends on the window's bottom row.
static void FollowCursorDown(int *y, int *top, COORD bufferSize, WORD attributes)
{
    int bottom = WindowBottom(*top, bufferSize);
    int rows = *y - bottom;
    int room = bufferSize.Y - 1 - bottom;
    int move = rows < room ? rows : room;
    *top += move;
    if (rows > move)
        ScrollBufferUp(rows - move, bufferSize, attributes);
    *y = WindowBottom(*top, bufferSize);
}

static void WriteToConsole(const char *text, int length)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool infoRead = GetConsoleScreenBufferInfo(hStdOutput, &info) != FALSE;
    if (!infoRead) {
        // Go on as if on an 80 x 25 buffer from column 0 of the window's top row, but never
        // scroll or blank: that buffer is a guess, and the rows are the user's history.
        // The mode test at the end then leaves console mode.
        info.dwSize.X = 80;
        info.dwSize.Y = 25;
        info.dwCursorPosition.X = 0;
        info.dwCursorPosition.Y = (SHORT)windowTop;
        info.wAttributes = 7;
    }
    // The window rows we keep to are the ones we know; a window resized since is no longer moved.
    bool rowsMatchWindow = infoRead && info.srWindow.Top == windowTop &&
                           info.srWindow.Bottom - info.srWindow.Top + 1 == windowHeight;
    int width = info.dwSize.X > 0 ? info.dwSize.X : 1;
    int x = info.dwCursorPosition.X;
    int y = info.dwCursorPosition.Y;
    int top = windowTop;

    if (lineFeedPending) {
        lineFeedPending = false;
        x = 0;
        ++y;
    }
    int i = 0;
    while (i < length) {
        if (text[i] == '\r' || text[i] == '\n') {
            x = 0;
            if (text[i] == '\n')
                ++y;
            ++i;
            continue;
        }
        if (x >= width) { // a cursor read past the last column
            x = 0;
            ++y;
        }
        if (infoRead && y > WindowBottom(top, info.dwSize))
            FollowCursorDown(&y, &top, info.dwSize, info.wAttributes);
        int run = 0;
        while (i + run < length && x + run < width && text[i + run] != '\r' && text[i + run] != '\n')
            ++run;
        PutCells(text + i, run, x, y, info.wAttributes);
        i += run;
        x += run;
        if (x >= width) {
            if (i == length && y == WindowBottom(top, info.dwSize)) {
                // The wrap at the end of the bottom row waits for the next write.
                x = width - 1;
                lineFeedPending = true;
            } else {
                x = 0;
                ++y;
            }
        }
    }
    if (infoRead && y > WindowBottom(top, info.dwSize))
        FollowCursorDown(&y, &top, info.dwSize, info.wAttributes);

    COORD cursor = {(SHORT)x, (SHORT)y};
    SetConsoleCursorPosition(hStdOutput, cursor);
    if (top != windowTop && rowsMatchWindow) {
        SMALL_RECT window = {0, (SHORT)top, (SHORT)(width - 1), (SHORT)(top + windowHeight - 1)};
        SetConsoleWindowInfo(hStdOutput, TRUE, &window);
    }

    if (GetConsoleScreenBufferInfo(hStdOutput, &info) && IsRoomyConsole(info))
        windowTop = info.srWindow.Top;
    else
        consoleMode = false;
}

// After a CR or LF the column counts from the last of them; the count wraps at the line width.
static void MoveColumn(const char *text, int length)
{
    int last = length - 1;
    while (last >= 0 && text[last] != '\r' && text[last] != '\n')
        --last;
    DWORD next = last >= 0 ? (DWORD)(length - 1 - last) : (DWORD)column + (DWORD)length;
    column = (LONG)(next % (DWORD)lineWidth);
}

void WriteText(const char *text, int length)
{
    if (!isSetUp)
        SetUpOutput();
    if (length < 0)
        length = 0;
    if (consoleMode)
        WriteToConsole(text, length);
    else
        WriteBytes(text, (DWORD)length);
    MoveColumn(text, length);
}

void WriteInt64(LONGLONG value, OutputEnding ending)
{
    // A blank before a value of zero or more, "-" before a negative one. The C runtime's
    // own _snprintf, not MinGW's portable printf, which would double the size of the exe.
    // The longest text, "-9223372036854775808\r\n", is 22 characters: no value fills the buffer.
    char text[32];
    int length = _snprintf(text, sizeof text, ending == ENDING_LINE ? "% I64d\r\n" : "% I64d", value);
    WriteText(text, length);
    if (ending == ENDING_ZONE)
        ZoneFill();
}

void ZoneFill()
{
    if (!isSetUp)
        SetUpOutput();
    // Rounded down, so the column -1 of a fresh plain output sits at the end of the zone before column 0.
    LONG zone = column >= 0 ? column / zoneWidth : (column - (zoneWidth - 1)) / zoneWidth;
    if (lineWidth >= zoneWidth && zoneWidth * (zone + 1) + 1 > lineWidth - zoneWidth) {
        WriteText("\r\n", 2);
        return;
    }
    // A fill is at most one zone wide (a whole zone from its start): these 14 blanks always suffice.
    static const char blanks[] = "              ";
    WriteText(blanks, zoneWidth - (column - zoneWidth * zone));
}
