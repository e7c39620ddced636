// Stand-in for posting messages and pausing: both only go into the platform log.
#include "fake_messages.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "text_compare.h"

std::vector<std::string> &PlatformLog()
{
    static std::vector<std::string> log;
    return log;
}

std::string Posted(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char text[96];
    snprintf(text, sizeof text, "post 0x%x to 0x%lx, lParam %ld: %lu", message, (unsigned long)(uintptr_t)window,
             (long)lParam, (unsigned long)wParam);
    return text;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformLog().push_back(Posted(window, message, wParam, lParam));
    return TRUE;
}

DWORD SleepEx(DWORD milliseconds, BOOL alertable)
{
    PlatformLog().push_back("sleep " + std::to_string(milliseconds) + " ms, alertable " + std::to_string(alertable));
    return 0;
}

void ExpectSequence(const std::vector<std::string> &expected, const std::vector<std::string> &actual)
{
    std::string difference = FirstDifference(expected, actual);
    if (!difference.empty())
        ADD_FAILURE() << difference;
}
