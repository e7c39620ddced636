// What the end-to-end driver, the benchmark's driver and the probe inside the program share:
// the probe's record, in named shared memory.
#ifndef SPINDLEWORK_E2E_PROBE_H
#define SPINDLEWORK_E2E_PROBE_H

#include <windows.h>

// The probe (probe.cpp, built as e2e_probe.dll) is brought into the program's window thread by
// a brief hook (program.cpp), just long enough to send it the probe message. From then on it
// records, in order, with the calling thread and the time, what the window does to its button
// (WM_ENABLE) and bar (PBM_SETPOS), and what the program asks of the system through its own
// imports: each PostMessageA, SleepEx, CreateThread (and the thread's return), CloseHandle,
// DeleteObject and CopyFileExA. Its record can also hold the worker: at a given call the worker
// waits there for good, so that the window can be closed while the worker is known to be
// mid-job. On request it copies through the tests' copy stand-in (Wine's own copy never calls
// the progress routine).
const char probeName[] = "spindlework-e2e-probe";

// Each program's record is its own: the shared memory is named after the program's process.
inline void ProbeMapName(char (&name)[64], DWORD processId)
{
    wsprintfA(name, "%s-%lu", probeName, processId);
}

// One call or message. kind: 'B' button WM_ENABLE (a: wParam), 'P' bar PBM_SETPOS (a: position),
// 'p' PostMessageA (a: message, b: wParam, c: lParam, window: the target), 's' SleepEx (a: ms,
// b: alertable), 't' CreateThread (a: the handle; b: the thread argument is the main window),
// 'r' that thread's routine returned (a: its result), 'c' CloseHandle (a: the handle),
// 'd' DeleteObject (a: the object), 'x' CopyFileExA (a: flags, b: the context value is the
// main window, c: a cancel flag was given), 'm' the driver's marker reached the window.
struct Call {
    volatile LONG kind; // written last: 0 while the slot is being filled
    LONG_PTR a, b, c;
    LONG_PTR window;
    DWORD thread;
    LONGLONG time; // QueryPerformanceCounter
};

struct Probe {
    LONG_PTR hFont; // the button's
    LONG recording;      // 1 once the button, the bar and the imports are followed
    volatile LONG count; // calls recorded so far (they stop when full)
    Call calls[65536];   // a run takes some 2,020
    // Hold the worker for good at its holdSleep-th SleepEx (0: never); held is 1 once it waits there.
    LONG holdSleep;
    volatile LONG held;
};

// A message to the main window, which the probe follows: wParam says what is asked; the
// answer is nonzero when it was done.
const char askName[] = "spindlework-e2e-ask";
enum ProbeAsk {
    askCopy = 1, // copy through the copy stand-in from now on, lParam bytes a chunk
    askMark,     // posted: record 'm' when the window gets to it
};

#endif
