// Test-only stand-in for the few Win32 types and calls the task engine uses.
// Native unit tests put this folder first on the include path; the product
// always builds against the real <windows.h>.
#ifndef SPINDLEWORK_FAKE_WINDOWS_H
#define SPINDLEWORK_FAKE_WINDOWS_H

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int16_t SHORT;
typedef int32_t LONG;
typedef long long LONGLONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef const char *LPCSTR;
typedef BOOL *LPBOOL;
typedef DWORD *LPDWORD;
typedef WORD *LPWORD;
typedef size_t SIZE_T;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef union _LARGE_INTEGER {
    struct { DWORD LowPart; LONG HighPart; } u;
    long long QuadPart;
} LARGE_INTEGER;

#define WM_USER 0x0400
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define ENABLE_PROCESSED_INPUT 0x0001
#define PROGRESS_CONTINUE 0
#define PROGRESS_CANCEL 1
#define PROGRESS_STOP 2
#define PROGRESS_QUIET 3
#define CALLBACK_CHUNK_FINISHED 0
#define CALLBACK_STREAM_SWITCH 1
#define COPY_FILE_FAIL_IF_EXISTS 0x1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_FILE_EXISTS 80
#define ERROR_REQUEST_ABORTED 1235

// Messages and pauses.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD SleepEx(DWORD milliseconds, BOOL alertable);

// The copy-with-progress service.
typedef DWORD(CALLBACK *LPPROGRESS_ROUTINE)(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER,
                                            DWORD, DWORD, HANDLE, HANDLE, LPVOID);
BOOL CopyFileExA(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                 LPBOOL cancel, DWORD flags);
void SetLastError(DWORD error);
// A file's attributes as Wine keeps read-only: in its write bits. Nothing is hidden here.
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
inline DWORD GetFileAttributesA(LPCSTR name) { struct stat s; return stat(name, &s) ? ~0u : s.st_mode & 0222 ? 0x80 : 1; }
inline BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) { return !chmod(name, attributes & 1 ? 0444 : 0644); }

// Virtual memory.
#define MEM_COMMIT 0x1000
#define MEM_RESERVE 0x2000
#define MEM_RELEASE 0x8000
#define PAGE_READWRITE 0x04
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protection);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type);

// Standard handles and the console.
typedef struct _COORD { SHORT X; SHORT Y; } COORD;
typedef struct _SMALL_RECT { SHORT Left; SHORT Top; SHORT Right; SHORT Bottom; } SMALL_RECT;
typedef struct _CHAR_INFO {
    union { wchar_t UnicodeChar; CHAR AsciiChar; } Char;
    WORD Attributes;
} CHAR_INFO;
typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO;

HANDLE GetStdHandle(DWORD which);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPVOID overlapped);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleMode(HANDLE console, DWORD mode);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info);
BOOL WriteConsoleOutputA(HANDLE console, const CHAR_INFO *cells, COORD size, COORD from, SMALL_RECT *region);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);
BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT *window);
BOOL ScrollConsoleScreenBufferA(HANDLE console, const SMALL_RECT *scroll, const SMALL_RECT *clip, COORD to,
                                const CHAR_INFO *fill);
BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD from, LPDWORD written);
BOOL FillConsoleOutputCharacterA(HANDLE console, CHAR c, DWORD length, COORD from, LPDWORD written);

// The C runtime's 64-bit stream offsets, as the Windows runtime names them.
inline int _fseeki64(FILE *stream, long long offset, int origin) { return fseeko(stream, offset, origin); }
inline long long _ftelli64(FILE *stream) { return ftello(stream); }
inline int _chsize_s(int descriptor, long long size) { return ftruncate(descriptor, size); }
// The C runtime's _snprintf, which knows the size prefix I64.
int _snprintf(char *buffer, size_t size, const char *format, ...);
// On Windows long is 32 bits wide: ftell fails past 2 GiB.
inline long FakeFtell32(FILE *stream)
{
    long long position = ftello(stream);
    return position > 0x7fffffffLL ? -1L : (long)position;
}
#define ftell FakeFtell32
// The stream's buffering, as the last setvbuf asked for it ("full 8192"), for the tests to see.
int FakeSetvbuf(FILE *stream, char *buffer, int mode, size_t size);
const char *FakeStreamBuffer();
#define setvbuf FakeSetvbuf

#endif
