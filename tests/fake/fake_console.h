// Test side of the stand-in's standard handles: a byte sink, a missing output, or a console screen buffer.
#ifndef SPINDLEWORK_FAKE_CONSOLE_H
#define SPINDLEWORK_FAKE_CONSOLE_H

#include <windows.h>

#include <string>
#include <vector>

// Until a test says otherwise, standard output is a file that takes every byte and standard
// input is a console in line and echo mode.

// Standard output as a file: the n-th WriteFile call takes at most answers[n] bytes, 0 means
// success with nothing written, -1 failure; past the answers every call takes all it is given.
void FakeUseFile(const std::vector<int> &answers = {});
// No standard output: GetStdHandle gives hOutput (NULL or INVALID_HANDLE_VALUE).
void FakeUseNoOutput(HANDLE hOutput);
// Standard output as a console. Row y of the buffer holds the letter 'a' + y in FAKE_SEED_COLOURS.
void FakeUseConsole(COORD size, SMALL_RECT window, COORD cursor, WORD colours);
const WORD FAKE_SEED_COLOURS = '.';

// What the user does meanwhile: resize or scroll the console window; leave standard output a
// handle to the console that can write but not read (which the console's state needs).
void FakeSetConsoleWindow(SMALL_RECT window);
void FakeLoseReadAccess();

// What there is to see: the bytes WriteFile took (a console shows them instead) and the
// console's cells, their colours one character per cell (the attribute's low byte), cursor
// and window.
std::string FakeFileBytes();
int FakeWriteFileCalls();
std::string FakeRow(int y);
std::string FakeColours(int y);
COORD FakeCursor();
SMALL_RECT FakeWindow();
DWORD FakeInputMode();

#endif
