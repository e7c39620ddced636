// Stand-in for the standard handles and the console: a scripted byte sink and a model of one screen buffer.
// Where Windows and Wine differ, the model takes Windows' documented behaviour, and refuses the call
// forms that Wine refuses, so that what passes here passes on both.
#include "fake_console.h"

#include <cstdio>
#include <unistd.h>

namespace {

struct Cell {
    char c;
    WORD colours;
};

const HANDLE hFile = (HANDLE)0x100;
const HANDLE hConsole = (HANDLE)0x200;
const HANDLE hInput = (HANDLE)0x300;
const DWORD lineAndEchoInput = 0x0006; // ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT
const int writeFileLimit = 1000;      // more calls than any test makes: the writer is spinning

HANDLE hOutput = hFile;
std::vector<int> answers;
size_t nextAnswer = 0;
std::string fileBytes;
int writeFileCalls = 0;
DWORD inputMode = lineAndEchoInput;

COORD size = {0, 0};
std::vector<Cell> cells;
COORD cursor = {0, 0};
SMALL_RECT window = {0, 0, 0, 0};
WORD colours = 7;
bool readAccessLost = false; // Windows needs read access to get the state, set the cursor or window, scroll

bool IsConsole(HANDLE h) { return h == hConsole && hOutput == hConsole; }

bool CanRead(HANDLE h) { return IsConsole(h) && !readAccessLost; }

bool InBuffer(int x, int y) { return x >= 0 && y >= 0 && x < size.X && y < size.Y; }

Cell &At(int x, int y) { return cells[(size_t)y * size.X + x]; }

bool Inside(int x, int y, const SMALL_RECT &r) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; }

// The part of r within the buffer; empty when Right < Left or Bottom < Top.
SMALL_RECT ClipToBuffer(SMALL_RECT r)
{
    if (r.Left < 0) r.Left = 0;
    if (r.Top < 0) r.Top = 0;
    if (r.Right > size.X - 1) r.Right = (SHORT)(size.X - 1);
    if (r.Bottom > size.Y - 1) r.Bottom = (SHORT)(size.Y - 1);
    return r;
}

bool IsEmpty(const SMALL_RECT &r) { return r.Right < r.Left || r.Bottom < r.Top; }

SMALL_RECT Moved(const SMALL_RECT &r, int dx, int dy)
{
    return {(SHORT)(r.Left + dx), (SHORT)(r.Top + dy), (SHORT)(r.Right + dx), (SHORT)(r.Bottom + dy)};
}

// How far v lies outside low..high: negative below, positive above.
int Outside(int v, int low, int high) { return v < low ? v - low : v > high ? v - high : 0; }

// A cursor outside the window brings the window along, just far enough to show it.
void ShowCursor()
{
    window = Moved(window, Outside(cursor.X, window.Left, window.Right), Outside(cursor.Y, window.Top, window.Bottom));
}

// The console's own output of text (processed, wrapping at the end of the line: the modes a new
// console starts with). LF starts the next row. A full row wraps at once (Wine waits for the
// write's next character, so a line end right after it leaves no empty row). Past the buffer's
// last row the content scrolls up and the new row is blank in the current colours (Wine's is in
// colour 7).
void ShowText(const char *text, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            cursor.X = 0;
            cursor.Y = (SHORT)(cursor.Y + (text[i] == '\n'));
        } else {
            At(cursor.X, cursor.Y) = Cell{text[i], colours};
            if (++cursor.X == size.X) {
                cursor.X = 0;
                ++cursor.Y;
            }
        }
        if (cursor.Y == size.Y) {
            cells.erase(cells.begin(), cells.begin() + size.X);
            cells.resize(cells.size() + size.X, Cell{' ', colours});
            --cursor.Y;
        }
    }
    ShowCursor();
}

// Fills length cells from 'from' on, row after row, up to the end of the buffer.
BOOL FillCells(HANDLE console, DWORD length, COORD from, LPDWORD written, char c, const WORD *newColours)
{
    *written = 0;
    if (!IsConsole(console) || !InBuffer(from.X, from.Y))
        return FALSE;
    for (size_t i = (size_t)from.Y * size.X + from.X; i < cells.size() && *written < length; ++i, ++*written) {
        if (newColours)
            cells[i].colours = *newColours;
        else
            cells[i].c = c;
    }
    return TRUE;
}

} // namespace

void FakeUseFile(const std::vector<int> &fileAnswers)
{
    hOutput = hFile;
    answers = fileAnswers;
    nextAnswer = 0;
}

void FakeUseNoOutput(HANDLE hMissing) { hOutput = hMissing; }

void FakeUseConsole(COORD bufferSize, SMALL_RECT consoleWindow, COORD consoleCursor, WORD consoleColours)
{
    hOutput = hConsole;
    size = bufferSize;
    cells.assign((size_t)size.X * size.Y, Cell{' ', FAKE_SEED_COLOURS});
    for (int y = 0; y < size.Y; ++y)
        for (int x = 0; x < size.X; ++x)
            At(x, y).c = (char)('a' + y % 26);
    window = consoleWindow;
    cursor = consoleCursor;
    colours = consoleColours;
}

void FakeSetConsoleWindow(SMALL_RECT consoleWindow) { window = consoleWindow; }

void FakeLoseReadAccess() { readAccessLost = true; }

std::string FakeFileBytes() { return fileBytes; }

int FakeWriteFileCalls() { return writeFileCalls; }

std::string FakeRow(int y)
{
    std::string row;
    for (int x = 0; x < size.X; ++x)
        row += At(x, y).c;
    return row;
}

std::string FakeColours(int y)
{
    std::string row;
    for (int x = 0; x < size.X; ++x)
        row += (char)(At(x, y).colours & 0xff);
    return row;
}

COORD FakeCursor() { return cursor; }

SMALL_RECT FakeWindow() { return window; }

DWORD FakeInputMode() { return inputMode; }

HANDLE GetStdHandle(DWORD which)
{
    if (which == STD_OUTPUT_HANDLE)
        return hOutput;
    return which == STD_INPUT_HANDLE ? hInput : INVALID_HANDLE_VALUE;
}

// Bytes go to the sink on any live output handle but the console's, which shows them.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPVOID)
{
    if (++writeFileCalls > writeFileLimit) {
        fprintf(stderr, "WriteFile called %d times: the writer does not stop\n", writeFileCalls);
        fflush(stderr);
        _exit(3);
    }
    *written = 0;
    if (file != hOutput || file == NULL || file == INVALID_HANDLE_VALUE)
        return FALSE;
    if (IsConsole(file)) {
        ShowText((const char *)data, count);
        *written = count;
        return TRUE;
    }
    DWORD take = count;
    if (nextAnswer < answers.size()) {
        int answer = answers[nextAnswer++];
        if (answer < 0)
            return FALSE;
        if ((DWORD)answer < take)
            take = (DWORD)answer;
    }
    fileBytes.append((const char *)data, take);
    *written = take;
    return TRUE;
}

// Only standard input's console mode is kept.
BOOL GetConsoleMode(HANDLE console, LPDWORD mode)
{
    if (console != hInput)
        return FALSE;
    *mode = inputMode;
    return TRUE;
}

BOOL SetConsoleMode(HANDLE console, DWORD mode)
{
    if (console != hInput)
        return FALSE;
    inputMode = mode;
    return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info)
{
    if (!CanRead(console))
        return FALSE;
    info->dwSize = size;
    info->dwCursorPosition = cursor;
    info->wAttributes = colours;
    info->srWindow = window;
    info->dwMaximumWindowSize = size;
    return TRUE;
}

// Cell (x, y) of the region takes source cell from + (x - region.Left, y - region.Top);
// the region is clipped to the buffer and to the source, and comes back as written.
BOOL WriteConsoleOutputA(HANDLE console, const CHAR_INFO *source, COORD sourceSize, COORD from, SMALL_RECT *region)
{
    if (!IsConsole(console))
        return FALSE;
    SMALL_RECT wanted = *region;
    SMALL_RECT done = ClipToBuffer(wanted);
    if (done.Right - wanted.Left > sourceSize.X - 1 - from.X)
        done.Right = (SHORT)(wanted.Left + sourceSize.X - 1 - from.X);
    if (done.Bottom - wanted.Top > sourceSize.Y - 1 - from.Y)
        done.Bottom = (SHORT)(wanted.Top + sourceSize.Y - 1 - from.Y);
    for (int y = done.Top; y <= done.Bottom; ++y)
        for (int x = done.Left; x <= done.Right; ++x) {
            const CHAR_INFO &cell = source[(from.Y + y - wanted.Top) * sourceSize.X + from.X + x - wanted.Left];
            At(x, y) = Cell{cell.Char.AsciiChar, cell.Attributes};
        }
    *region = done;
    return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position)
{
    if (!CanRead(console) || !InBuffer(position.X, position.Y))
        return FALSE;
    cursor = position;
    ShowCursor();
    return TRUE;
}

BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT *consoleWindow)
{
    if (!CanRead(console))
        return FALSE;
    SMALL_RECT wanted = *consoleWindow;
    if (!absolute)
        wanted = {(SHORT)(window.Left + wanted.Left), (SHORT)(window.Top + wanted.Top),
                  (SHORT)(window.Right + wanted.Right), (SHORT)(window.Bottom + wanted.Bottom)};
    if (IsEmpty(wanted) || !InBuffer(wanted.Left, wanted.Top) || !InBuffer(wanted.Right, wanted.Bottom))
        return FALSE;
    window = wanted;
    return TRUE;
}

// The scroll rectangle's cells move to 'to'; those it leaves uncovered take the fill cell.
// Only cells within the clip rectangle (the whole buffer when there is none) change. Windows
// clips a scroll rectangle or destination that reaches out of the buffer; Wine refuses them.
BOOL ScrollConsoleScreenBufferA(HANDLE console, const SMALL_RECT *scroll, const SMALL_RECT *clip, COORD to,
                                const CHAR_INFO *fill)
{
    SMALL_RECT source = *scroll;
    if (!CanRead(console) || IsEmpty(source) || !InBuffer(source.Left, source.Top) ||
        !InBuffer(source.Right, source.Bottom) || to.X < 0 || to.Y < 0)
        return FALSE;
    SMALL_RECT target = Moved(source, to.X - source.Left, to.Y - source.Top);
    SMALL_RECT changes = ClipToBuffer(clip ? *clip : SMALL_RECT{0, 0, (SHORT)(size.X - 1), (SHORT)(size.Y - 1)});
    std::vector<Cell> before = cells;
    for (int y = changes.Top; y <= changes.Bottom; ++y)
        for (int x = changes.Left; x <= changes.Right; ++x) {
            if (Inside(x, y, target))
                At(x, y) = before[(size_t)(y - to.Y + source.Top) * size.X + (x - to.X + source.Left)];
            else if (Inside(x, y, source))
                At(x, y) = Cell{fill->Char.AsciiChar, fill->Attributes};
        }
    return TRUE;
}

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD from, LPDWORD written)
{
    return FillCells(console, length, from, written, 0, &attribute);
}

BOOL FillConsoleOutputCharacterA(HANDLE console, CHAR c, DWORD length, COORD from, LPDWORD written)
{
    return FillCells(console, length, from, written, c, NULL);
}
