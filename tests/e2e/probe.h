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

struct Event {
    LONG message, value;
};

struct Probe {
    LONG fontState; // 0: no answer, 1: font read, 2: the button has no font
    LOGFONTA font;
    LONG recording;      // 1 once both controls are followed
    volatile LONG count; // events recorded so far (they stop when full)
    Event events[32768];

    // Asked for through the bar (askName), each answered in the program's window thread.
    LONG consoleWidth, consoleHeight, consoleRows; // askConsole: screen buffer columns and rows, window rows
    LONG_PTR consoleWindow;                        // askConsole: where Wine shows the console
    LONG copyCalls, progressCalls, lastCopyResult; // askLook: what the copy stand-in counted
    LONG consoleRead;                              // askLook: 1 when the console below was read
    CONSOLE_SCREEN_BUFFER_INFO consoleInfo;
    CHAR consoleChars[80 * 50];
    WORD consoleAttributes[80 * 50];
};

// A message to the bar, which the probe follows: wParam says what is asked.
const char askName[] = "spindlework-e2e-ask";
enum ProbeAsk {
    askCopy = 1, // point the exe's CopyFileExA at the copy stand-in (once), lParam bytes a chunk
    askConsole,  // give the program a console of the size above as its standard output
    askLook,     // read the stand-in's counts and the console
};


#endif
