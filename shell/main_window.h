// The main window's procedure.
#ifndef SPINDLEWORK_MAIN_WINDOW_H
#define SPINDLEWORK_MAIN_WINDOW_H

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam);

#endif
