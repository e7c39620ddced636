// The window that the benchmark's floor and raw programs share with the program's footing:
// same class and title, a button (id 1) that starts the job on a thread of its own, and a bar.
#ifndef SPINDLEWORK_BENCH_WINDOW_H
#define SPINDLEWORK_BENCH_WINDOW_H

#include <windows.h>

// Posted by the job: wParam the bar's position (the window sets it), lParam 0.
#define BENCH_SETPOS (WM_USER + 1)
// Posted by the job when it is done: the button comes back and the bar goes to 0.
#define BENCH_DONE (WM_USER + 2)

// Shows the window and runs its message loop until it is closed; each click on the button
// greys it and starts job with the window's handle. Returns the exit code.
int RunBenchWindow(LPTHREAD_START_ROUTINE job);

#endif
