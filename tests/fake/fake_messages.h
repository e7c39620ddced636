// Test side of the stand-in's posted messages and pauses: one log, in call order.
#ifndef SPINDLEWORK_FAKE_MESSAGES_H
#define SPINDLEWORK_FAKE_MESSAGES_H

#include <windows.h>

#include <string>
#include <vector>

// Each post reads "post <message> to <window>, lParam <lParam>: <wParam>", message and window in
// hex; each pause "sleep <ms> ms, alertable <0 or 1>"; the copy stand-in adds its calls too.
std::vector<std::string> &PlatformLog();
std::string Posted(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0);

// Fails with both printed around the first difference.
void ExpectSequence(const std::vector<std::string> &expected, const std::vector<std::string> &actual);

#endif
