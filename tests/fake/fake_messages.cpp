// Stand-in for posting messages and pausing: both only go into the platform log.
#include "fake_messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

std::vector<std::string> &PlatformLog()
{
    static std::vector<std::string> log;
    return log;
}

std::string Posted(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char text[96];
    snprintf(text, sizeof text, "post %lx %x %lu %ld", (unsigned long)(uintptr_t)window, message,
             (unsigned long)wParam, (long)lParam);
    return text;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformLog().push_back(Posted(window, message, wParam, lParam));
    return TRUE;
}

DWORD SleepEx(DWORD milliseconds, BOOL alertable)
{
    PlatformLog().push_back("sleep " + std::to_string(milliseconds) + " " + std::to_string(alertable));
    return 0;
}

void ExpectSequence(const std::vector<std::string> &expected, const std::vector<std::string> &actual)
{
    if (expected == actual)
        return;
    size_t first = 0;
    while (first < expected.size() && first < actual.size() && expected[first] == actual[first])
        ++first;
    std::ostringstream out;
    out << "sequences differ at #" << first << " (expected " << expected.size() << " entries, got "
        << actual.size() << ")\n";
    size_t from = first >= 3 ? first - 3 : 0;
    for (size_t i = from; i < first + 5 && (i < expected.size() || i < actual.size()); ++i)
        out << "  #" << i << "  expected: " << (i < expected.size() ? expected[i] : "(none)")
            << "\n        actual:   " << (i < actual.size() ? actual[i] : "(none)") << "\n";
    ADD_FAILURE() << out.str();
}
