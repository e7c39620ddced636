// End-to-end driver, long use: many runs in one program, and a person at the window while the
// job runs.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"

// --- Long use (--soak): after each run both files are checked and the program's own
// --- counts are read inside it; they must come back to what they were after the first run.
std::vector<Usage> usageAfterRun;         // index: run - 1
const LONGLONG privateGrowthBound = 1 << 20; // bytes over the first run's, at any later run

void AfterSoakRun(const Program &p, const std::string &dir, int run)
{
    CheckFiles(dir);
    bool ok = AskProbe(p, askUsage);
    Check(ok, "run %d: the program's counts read inside it", run);
    usageAfterRun.push_back(ok ? p.probe->usage : Usage{});
}

void SoakReport()
{
    if (usageAfterRun.empty()) return;
    const Usage &first = usageAfterRun.front();
    std::string table = "after run | handles | GDI objects | USER objects | threads | private KiB\n";
    for (size_t i = 0; i < usageAfterRun.size(); ++i) {
        const Usage &u = usageAfterRun[i];
        char row[160];
        std::snprintf(row, sizeof row, "%9zu | %7ld | %11ld | %12ld | %7ld | %11lld\n", i + 1, u.handles, u.gdiObjects,
                      u.userObjects, u.threads, u.privateBytes / 1024);
        table += row;
    }
    std::printf("%s", table.c_str());
    std::printf("measured: handles by %s; GDI objects by %s; USER objects by %s; threads from the system's process "
                "list; private bytes as %s\n",
                first.handlesBy ? "trying each handle value (GetProcessHandleCount gives 0 here)" : "GetProcessHandleCount",
                first.gdiBy == 1   ? "the live entries of the GDI handle table (GetGuiResources gives 0 here)"
                : first.gdiBy == 2 ? "each handle index GetObjectType knows (GetGuiResources gives 0 here)"
                                   : "GetGuiResources",
                first.userBy ? "counting the program's windows (GetGuiResources gives 0 here)" : "GetGuiResources",
                first.privateBy ? "PagefileUsage (PrivateUsage gives 0 here)" : "PrivateUsage");
    // From the second run on, each count as after the first; the first run that differs.
    auto Steady = [&](const char *what, LONG Usage::*count) {
        size_t bad = 0;
        for (size_t i = 1; i < usageAfterRun.size() && !bad; ++i)
            if (usageAfterRun[i].*count != first.*count) bad = i + 1;
        Check(!bad && first.*count > 0, "%s after runs 2 to %zu as after run 1 (%ld%s%s)", what, usageAfterRun.size(),
              first.*count, bad ? "; differs after run " : "", bad ? std::to_string(bad).c_str() : "");
    };
    Steady("handles", &Usage::handles);
    Steady("GDI objects", &Usage::gdiObjects);
    Steady("USER objects", &Usage::userObjects);
    Steady("threads", &Usage::threads);
    LONGLONG most = first.privateBytes;
    for (const Usage &u : usageAfterRun) most = u.privateBytes > most ? u.privateBytes : most;
    Check(first.privateBytes > 0 && most - first.privateBytes <= privateGrowthBound,
          "private bytes grow at most %lld KiB past run 1's (%lld KiB; at most %lld KiB)", privateGrowthBound / 1024,
          first.privateBytes / 1024, most / 1024);
}

// --- A person at the window (--handle): while the first run goes on, the window is resized,
// --- maximised, minimised, restored and moved with the mouse and the caption buttons' commands.
// --- Nothing of it may move a control or stop the window answering.
void MouseTo(POINT at)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    SendInput(1, &in, sizeof in);
}

void MouseButton(DWORD flag)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flag;
    SendInput(1, &in, sizeof in);
}

// Presses at `from`, moves by dx, dy in ten steps of 15 ms, lets go. As a person would, it
// moves only once the window has taken hold (its thread in the move or size loop, a second at
// most): a window thread still busy with the worker's positions can take the press late.
void Drag(HWND hWindow, POINT from, int dx, int dy)
{
    MouseTo(from);
    Sleep(30);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    GUITHREADINFO held{};
    held.cbSize = sizeof held;
    for (double t0 = NowMs(); NowMs() - t0 < 1000; Sleep(5))
        if (GetGUIThreadInfo(GetWindowThreadProcessId(hWindow, nullptr), &held) && (held.flags & GUI_INMOVESIZE)) break;
    for (int step = 1; step <= 10; ++step) {
        Sleep(15);
        MouseTo(POINT{from.x + dx * step / 10, from.y + dy * step / 10});
    }
    Sleep(30);
    MouseButton(MOUSEEVENTF_LEFTUP);
}

std::string Place(const RECT &r)
{
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

DWORD WINAPI PersonAtWindow(void *param)
{
    const Program &p = *static_cast<const Program *>(param);
    for (int i = 0; i < 2500 && IsWindowEnabled(p.hButton); ++i) Sleep(2); // until the click
    RECT w, was, start;
    GetWindowRect(p.hWindow, &start);
    // Waits for an act to show (2 s at most; a busy machine is slow to move windows), then for
    // the window to hold still for 60 ms; `w` is the window's rectangle then. The window must
    // answer, and the controls keep their places and sizes.
    auto Shows = [&](const char *what, auto shown) {
        double t0 = NowMs();
        while (GetWindowRect(p.hWindow, &w), !shown() && NowMs() - t0 < 2000) Sleep(10);
        for (RECT before = w; NowMs() - t0 < 4000; before = w) {
            Sleep(60);
            GetWindowRect(p.hWindow, &w);
            if (EqualRect(&w, &before)) break;
        }
        DWORD_PTR answer;
        RECT button, bar;
        bool inPlace = ControlAt(p, p.hButton, RECT{20, 20, 270, 170}, button);
        inPlace = ControlAt(p, p.hBar, RECT{20, 200, 270, 230}, bar) && inPlace;
        Check(shown() && Ask(p.hWindow, WM_NULL, 0, 0, &answer) && inPlace && !IsWindowEnabled(p.hButton),
              "%s: %s to %s, the window answers, button at %s, bar at %s (20,20 250x150 and 20,200 250x30), "
              "still during the run", what, Place(was).c_str(), Place(w).c_str(), Place(button).c_str(),
              Place(bar).c_str());
    };
    auto Command = [&](WPARAM command) { // as the caption buttons do
        GetWindowRect(p.hWindow, &was);
        PostMessageA(p.hWindow, WM_SYSCOMMAND, command, 0);
    };
    auto Corner = [&] {
        GetWindowRect(p.hWindow, &was);
        return POINT{was.right - 2, was.bottom - 2};
    };
    auto Width = [](const RECT &r) { return r.right - r.left; };
    auto Height = [](const RECT &r) { return r.bottom - r.top; };

    Drag(p.hWindow, Corner(), 100, 80);
    Shows("resized larger with the mouse", [&] { return Width(w) > Width(was) && Height(w) > Height(was); });
    Drag(p.hWindow, Corner(), -150, -120);
    Shows("resized smaller with the mouse", [&] { return Width(w) < Width(start) && Height(w) < Height(start); });
    RECT normal = w; // where restoring takes it back
    Command(SC_MAXIMIZE);
    Shows("maximised", [&] { return IsZoomed(p.hWindow) != 0; });
    Command(SC_RESTORE);
    Shows("restored from maximised", [&] { return !IsZoomed(p.hWindow) && EqualRect(&w, &normal); });
    Command(SC_MINIMIZE);
    Shows("minimised", [&] { return IsIconic(p.hWindow) != 0; });
    Command(SC_RESTORE);
    Shows("restored from minimised", [&] { return !IsIconic(p.hWindow) && EqualRect(&w, &normal); });
    GetWindowRect(p.hWindow, &was);
    Drag(p.hWindow, POINT{(was.left + was.right) / 2, was.top + GetSystemMetrics(SM_CYFRAME) +
                                                           GetSystemMetrics(SM_CYCAPTION) / 2}, 60, 40);
    Shows("moved by its caption", [&] {
        return w.left == was.left + 60 && w.top == was.top + 40 && Width(w) == Width(was) && Height(w) == Height(was);
    });
    return 0;
}
