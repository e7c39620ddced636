// What the end-to-end driver and its probe inside the program share: the probe's
// record, in named shared memory.
#ifndef SPINDLEWORK_E2E_PROBE_H
#define SPINDLEWORK_E2E_PROBE_H

#include <windows.h>

// The button's font belongs to the program's process, the only place where its
// LOGFONT can be read. The probe (probe.cpp, built as e2e_probe.dll) is there: the
// driver hooks it into the program's window thread just long enough to send it the probe
// message. There it reads the button's font, and puts itself in front of the button's and
// the bar's window procedures for the rest of the session, to record every WM_ENABLE and
// PBM_SETPOS they get, in order (cheaper than a hook, which under Wine costs the window
// a server call per message). All of it goes back through named shared memory.
// Asked through the bar, it also puts a copy service of ours (copy_stand_in.cpp) in the
// place of the exe's CopyFileExA, since Wine's never calls the progress routine, and it
// gives the program a console to write its report lines to.
const char probeName[] = "spindlework-e2e-probe";

// Each program's record is its own: the shared memory is named after the program's process.
inline void ProbeMapName(char (&name)[64], DWORD processId)
{
    wsprintfA(name, "%s-%lu", probeName, processId);
}

// Once there, the probe also follows the main window, in front of its procedure: it records
// each WM_SIZE (kind, client width, height) and each WM_PAINT (client width, height, and
// whether the update region holds all of the client area that the children do not cover:
// they paint their own), and answers askName (ProbeAsk).

// What the program holds, read inside it. Where the platform's own count gives nothing
// (Wine: GetProcessHandleCount and PrivateUsage say 0, GetGuiResources is not implemented)
// the nearest measure is taken and the matching "by" flag set: handles by trying every
// handle value (GetHandleInformation), GDI objects by the live entries of the GDI handle
// table (2: by each table index GetObjectType knows), USER objects by the windows of the
// process, private bytes by PagefileUsage.
struct Usage {
    LONG handles, gdiObjects, userObjects, threads;
    LONGLONG privateBytes;
    LONG handlesBy, gdiBy, userBy, privateBy; // 0: the platform's count, 1 (or 2): the nearest measure
};

struct WindowEvent {
    LONG message, a, b, c; // WM_SIZE: kind, width, height; WM_PAINT: width, height, whole (1/0)
    RECT box;              // WM_PAINT: the bounds of what is left out, or else of the update region
};

struct Event {
    LONG message, value;
};

struct Probe {
    LONG fontState; // 0: no answer, 1: font read, 2: the button has no font
    LOGFONTA font;
    LONG recording;      // 1 once both controls are followed
    volatile LONG count; // events recorded so far (they stop when full)
    Event events[32768];
    // What the main window holds (askUsage).
    Usage usage;
    // Its size and position messages (WM_SIZE, WM_MOVE, WM_WINDOWPOSCHANGING, ...CHANGED,
    // WM_GETMINMAXINFO, WM_NCCALCSIZE, WM_SIZING, WM_MOVING): how many it got, and how many of
    // them went on to DefWindowProcA (the probe stands in for the program's import of it).
    volatile LONG sizeMessages, sizeDefaults;
    volatile LONG windowCount;
    WindowEvent window[8192];

    // Asked for through askName, each answered in the program's window thread.
    LONG consoleWidth, consoleHeight, consoleRows; // askConsole: screen buffer columns and rows, window rows
    LONG_PTR consoleWindow;                        // askConsole: where Wine shows the console
    LONG copyCalls, progressCalls, lastCopyResult; // askLook: what the copy stand-in counted
    LONG consoleRead;                              // askLook: 1 when the console below was read
    CONSOLE_SCREEN_BUFFER_INFO consoleInfo;
    CHAR consoleChars[80 * 50];
    WORD consoleAttributes[80 * 50];
};

// A message to the main window, which the probe follows: wParam says what is asked; the
// answer is nonzero when it was done.
const char askName[] = "spindlework-e2e-ask";
enum ProbeAsk {
    askCopy = 1, // point the exe's CopyFileExA at the copy stand-in (once), lParam bytes a chunk
    askConsole,  // give the program a console of the size above as its standard output
    askLook,     // read the stand-in's counts and the console
    askUsage,    // read what the program holds into usage
    askFocus,    // give the button the keyboard focus
};

#endif
