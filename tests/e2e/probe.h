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
};


#endif
