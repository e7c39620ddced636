// The console cases on the platform's own console: each case in a process of its own (the
// writer's state is set up once per process), with a console of its own made by AllocConsole.
//   real_console [case name]   runs every case, or the one named
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "console_cases.h"
#include "own_process.h"
#include "text_compare.h"

static HANDLE OpenConsoleOutput(DWORD access)
{
    return CreateFileA("CONOUT$", access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

// Sizes the buffer and window, places the cursor and seeds every cell.
static void SetUpConsole(HANDLE hConsole, const ConsoleCase &c)
{
    SMALL_RECT least = {0, 0, 0, 0}; // the buffer cannot be made smaller than the window
    SetConsoleWindowInfo(hConsole, TRUE, &least);
    SetConsoleScreenBufferSize(hConsole, c.size);
    SetConsoleCursorPosition(hConsole, c.cursor);
    SetConsoleWindowInfo(hConsole, TRUE, &c.window);
    SetConsoleTextAttribute(hConsole, CASE_COLOURS);
    std::vector<CHAR_INFO> cells(size_t(c.size.X * c.size.Y));
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i].Char.AsciiChar = (char)('a' + i / c.size.X % 26), cells[i].Attributes = SEED_COLOURS;
    COORD from = {0, 0};
    SMALL_RECT all = {0, 0, (SHORT)(c.size.X - 1), (SHORT)(c.size.Y - 1)};
    WriteConsoleOutputA(hConsole, cells.data(), c.size, from, &all);
}

// Opens standard output's handle afresh for writing only, under the same handle value the
// writer keeps (a closed handle's slot is the next one given out).
static bool LoseReadAccess(const ConsoleCase &c)
{
    HANDLE hOld = GetStdHandle(STD_OUTPUT_HANDLE);
    CloseHandle(hOld);
    HANDLE hWriteOnly = OpenConsoleOutput(GENERIC_WRITE);
    if (hWriteOnly == hOld)
        return true;
    printf("FAILED %s: the write-only handle came as %p, not %p\n", c.name, hWriteOnly, hOld);
    return false;
}

// Runs one case on this process's own new console; 0 when the console shows what the case says.
static int RunCase(const ConsoleCase &c)
{
    FreeConsole();
    // Now and then Wine's console host refuses a new console at first (error 1).
    for (int tries = 1; !AllocConsole(); ++tries, Sleep(200))
        if (tries == 5) return printf("FAILED %s: no console (error %lu)\n", c.name, GetLastError()), 1;
    HANDLE hConsole = OpenConsoleOutput(GENERIC_READ | GENERIC_WRITE);
    SetUpConsole(hConsole, c);
    // A console not as the case says fails it.
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(hConsole, &info);
    std::string asked = CoordText(c.size) + " " + RectText(c.window) + " " + CoordText(c.cursor);
    std::string got = CoordText(info.dwSize) + " " + RectText(info.srWindow) + " " + CoordText(info.dwCursorPosition);
    if (got != asked)
        return printf("FAILED %s: buffer, window, cursor asked %s, got %s\n", c.name, asked.c_str(), got.c_str()), 1;
    SetStdHandle(STD_OUTPUT_HANDLE, hConsole);
    for (const ConsoleStep &step : c.steps) {
        if (RunWriterStep(step))
            continue;
        if (step.kind == ConsoleStep::USER_WINDOW)
            SetConsoleWindowInfo(GetStdHandle(STD_OUTPUT_HANDLE), TRUE, &step.window);
        else if (!LoseReadAccess(c))
            return 1;
    }

    HANDLE hReader = OpenConsoleOutput(GENERIC_READ | GENERIC_WRITE);
    GetConsoleScreenBufferInfo(hReader, &info);
    std::vector<CHAR_INFO> cells(size_t(c.size.X * c.size.Y));
    COORD from = {0, 0};
    SMALL_RECT all = {0, 0, (SHORT)(c.size.X - 1), (SHORT)(c.size.Y - 1)};
    ReadConsoleOutputA(hReader, cells.data(), c.size, from, &all);
    std::vector<std::string> rows(c.size.Y), colours(c.size.Y);
    for (size_t i = 0; i < cells.size(); ++i)
        rows[i / c.size.X] += cells[i].Char.AsciiChar, colours[i / c.size.X] += (char)(cells[i].Attributes & 0xff);
    std::string difference =
        FirstDifference(ScreenLines(c.rows, c.colours, c.cursorAfter, c.windowAfter),
                        ScreenLines(rows, colours, CoordText(info.dwCursorPosition), RectText(info.srWindow)));
    if (!difference.empty()) printf("FAILED %s\n%s", c.name, difference.c_str());
    return !difference.empty();
}

int main(int argc, char **argv)
{
    const std::vector<ConsoleCase> &cases = ConsoleCases();
    if (argc == 3 && strcmp(argv[1], "--case") == 0) {
        return RunCase(cases[(size_t)atoi(argv[2])]);
    }
    int passed = 0, failed = 0;
    for (size_t i = 0; i < cases.size(); ++i)
        if (argc < 2 || strcmp(argv[1], cases[i].name) == 0)
            (PassesInItsOwnProcess("--case " + std::to_string(i), 60000) ? passed : failed)++;
    printf("console cases on a real console: %d passed, %d failed\n", passed, failed);
    return failed || !passed ? 1 : 0;
}
