// The worker's job, started on its own thread by the main window.
#ifndef SPINDLEWORK_TASK_THREAD_H
#define SPINDLEWORK_TASK_THREAD_H

#include <windows.h>

// param is the main window's handle; returns 0.
DWORD WINAPI TaskThreadProc(LPVOID param);

#endif
