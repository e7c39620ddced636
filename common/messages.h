// Private messages from the worker to the main window, and the start button's id.
#ifndef SPINDLEWORK_MESSAGES_H
#define SPINDLEWORK_MESSAGES_H

#include <windows.h>

// wParam: bar position 0..100, lParam: 0.
#define WM_TASKPROGRESS (WM_USER + 1)
// wParam: 0, lParam: 0. The last message of every run.
#define WM_TASKDONE (WM_USER + 2)

#define IDC_STARTBUTTON 1

#endif
