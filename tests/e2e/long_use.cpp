// End-to-end driver, long use: many runs in one program, two programs at once, and a person
// at the window while the job runs.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "probe.h"
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
// --- maximised, minimised, restored and moved with the mouse and the caption buttons' commands,
// --- keys are pressed while the button is disabled and the bar is clicked. Nothing of it may move a
// --- control, stop the window answering, or start a second run; every size change repaints the
// --- whole client area.
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

// Presses at `from`, moves by dx, dy in ten steps of 15 ms, lets go: about a fifth of a second.
// As a person would, it moves only once the window has taken hold (its thread in the move
// or size loop, a second at most): a window thread still busy with the worker's positions can
// take the press late, and a press it takes after the release moves nothing.
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

void PressKey(WORD key)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = key;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

std::string Place(const RECT &r)
{
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

LONG sizeMessagesFrom, sizeDefaultsFrom; // the probe's counts when the act began

// The window's record from `from` on, for an act that took the client area from `before` to
// what it is now: the first paint at each new size (told by WM_SIZE, or seen in the paint
// itself) must have the whole client area to paint, and the size it ends at must get a paint
// (2 s at most). Also: each size and position message went on to the default processing.
void CheckRepaint(const Program &p, const char *what, LONG from, SIZE before, bool sizeChange)
{
    int changes = 0, told = 0, partial = 0;
    bool pending = false, done = false;
    std::string part; // the first paint that left some out: what it left out, of what
    SIZE size = before, painted{};
    RECT now;
    for (double t0 = NowMs(); !done; Sleep(20)) {
        for (LONG end = p.probe->windowCount; from < end; ++from) {
            const WindowEvent &e = p.probe->window[from];
            SIZE at = e.message == WM_SIZE ? SIZE{e.b, e.c} : SIZE{e.a, e.b};
            told += e.message == WM_SIZE;
            if (at.cx && at.cy && (at.cx != size.cx || at.cy != size.cy)) ++changes, pending = true;
            size = at;
            if (e.message != WM_PAINT) continue;
            if (pending && !e.c && !partial++)
                part = "; it left out " + Place(e.box) + " of " + std::to_string(e.a) + "x" + std::to_string(e.b);
            pending = false;
            painted = at;
        }
        GetClientRect(p.hWindow, &now);
        bool ends = now.right && now.bottom && (now.right != before.cx || now.bottom != before.cy);
        done = !pending && (!ends || (painted.cx == now.right && painted.cy == now.bottom));
        if (NowMs() - t0 > 2000) break;
    }
    if (sizeChange) Check(told > 0, "%s: the window is told its new size (%d WM_SIZE)", what, told);
    LONG got = p.probe->sizeMessages - sizeMessagesFrom, passed = p.probe->sizeDefaults - sizeDefaultsFrom;
    Check(got == passed, "%s: each size and position message the window got went on to DefWindowProcA (%ld of %ld)",
          what, passed, got);
    Check(done && !partial, "%s: the whole client area repainted after each size change (%d changes, %d painted "
          "in part%s%s)", what, changes, partial, part.c_str(), done ? "" : "; the last one not painted");
}

DWORD WINAPI PersonAtWindow(void *param)
{
    const Program &p = *static_cast<const Program *>(param);
    for (int i = 0; i < 2500 && IsWindowEnabled(p.hButton); ++i) Sleep(2); // until the click
    if (!p.probe) return 0;
    double clicked = NowMs();
    Sleep(100);
    RECT w, was, start;
    GetWindowRect(p.hWindow, &start);
    LONG mark = 0;
    DWORD_PTR answer = 0;
    RECT client;
    auto Begin = [&] {
        GetWindowRect(p.hWindow, &was);
        GetClientRect(p.hWindow, &client);
        mark = p.probe->windowCount;
        sizeMessagesFrom = p.probe->sizeMessages;
        sizeDefaultsFrom = p.probe->sizeDefaults;
    };
    // Waits for an act to show (2 s at most; a busy machine is slow to move windows), then
    // for the window to hold still for 60 ms. `w` is the window's rectangle then.
    auto Shows = [&](auto shown) {
        double t0 = NowMs();
        while (GetWindowRect(p.hWindow, &w), !shown() && NowMs() - t0 < 2000) Sleep(10);
        for (RECT before = w; NowMs() - t0 < 4000; before = w) {
            Sleep(60);
            GetWindowRect(p.hWindow, &w);
            if (EqualRect(&w, &before)) break;
        }
        return shown();
    };
    auto After = [&](const char *what, bool sizeChange) {
        Check(Ask(p.hWindow, WM_NULL, 0, 0, &answer), "%s: the window answers", what);
        RECT button, bar;
        bool inPlace = ControlAt(p, p.hButton, RECT{20, 20, 270, 170}, button);
        inPlace = ControlAt(p, p.hBar, RECT{20, 200, 270, 230}, bar) && inPlace;
        Check(inPlace, "%s: button at %s, bar at %s (20,20 250x150 and 20,200 250x30)", what, Place(button).c_str(),
              Place(bar).c_str());
        CheckRepaint(p, what, mark, SIZE{client.right, client.bottom}, sizeChange);
        Check(!IsWindowEnabled(p.hButton), "%s: still during the run (the button disabled)", what);
    };
    auto Command = [&](WPARAM command) { PostMessageA(p.hWindow, WM_SYSCOMMAND, command, 0); }; // as the caption buttons do
    auto Corner = [&] {
        GetWindowRect(p.hWindow, &w);
        return POINT{w.right - 2, w.bottom - 2};
    };
    auto Width = [](const RECT &r) { return r.right - r.left; };
    auto Height = [](const RECT &r) { return r.bottom - r.top; };

    Begin();
    Drag(p.hWindow, Corner(), 100, 80);
    Check(Shows([&] { return Width(w) > Width(was) && Height(w) > Height(was); }),
          "resized larger with the mouse: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("resized larger", true);
    Begin();
    Drag(p.hWindow, Corner(), -150, -120);
    Check(Shows([&] { return Width(w) < Width(start) && Height(w) < Height(start); }),
          "resized smaller with the mouse: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("resized smaller", true);
    RECT normal = w; // where restoring takes it back
    Begin();
    Command(SC_MAXIMIZE);
    Check(Shows([&] { return IsZoomed(p.hWindow) != 0; }), "maximised: %s", Place(w).c_str());
    After("maximised", true);
    Begin();
    Command(SC_RESTORE);
    Check(Shows([&] { return !IsZoomed(p.hWindow) && EqualRect(&w, &normal); }), "restored: %s (%s)",
          Place(w).c_str(), Place(normal).c_str());
    After("restored from maximised", true);
    normal = w;
    Begin();
    Command(SC_MINIMIZE);
    Check(Shows([&] { return IsIconic(p.hWindow) != 0; }), "minimised");
    After("minimised", false);
    Begin();
    Command(SC_RESTORE);
    Check(Shows([&] { return !IsIconic(p.hWindow) && EqualRect(&w, &normal); }), "restored from minimised: %s (%s)",
          Place(w).c_str(), Place(normal).c_str());
    After("restored from minimised", true);
    Begin();
    GetWindowRect(p.hWindow, &w);
    Drag(p.hWindow, POINT{(w.left + w.right) / 2, w.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2}, 60,
         40);
    Check(Shows([&] {
              return w.left == was.left + 60 && w.top == was.top + 40 && Width(w) == Width(was) &&
                     Height(w) == Height(was);
          }),
          "moved by its caption: %s to %s", Place(was).c_str(), Place(w).c_str());
    After("moved", false);

    // Keys while the button is disabled. A disabled window takes no keyboard focus (Wine
    // leaves it on the main window after the click): the probe tries to give it to the button,
    // and the keys go wherever the focus then is, as they would for a person.
    Begin();
    answer = AskProbe(p, askFocus);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(p.hWindow, nullptr), &thread);
    char focus[64] = "nothing";
    if (thread.hwndFocus) GetClassNameA(thread.hwndFocus, focus, sizeof focus);
    Check((thread.hwndFocus == p.hButton || thread.hwndFocus == p.hWindow) && GetForegroundWindow() == p.hWindow,
          "the window is in front, the keyboard focus on the %s (the disabled button %s it)", focus,
          answer ? "took" : "would not take");
    PressKey(VK_RETURN);
    Sleep(100);
    PressKey(VK_SPACE);
    Sleep(100);
    After("Enter and Space pressed", false);
    Begin();
    ClickMouse(p.hBar);
    Sleep(100);
    After("the bar clicked", false);
    std::printf("the acts took %.0f ms from the click\n", NowMs() - clicked);
    return 0;
}

// --- Two copies at once (--two): two programs in one folder, their buttons clicked 100 ms
// --- apart, then two programs in two folders. Both runs complete, both programs end with code 0,
// --- no other window (a crash dialog) appears, and the files are exact in every folder.
struct OwnWindow {
    DWORD processId;
    HWND hWindow;
};

BOOL CALLBACK FindOwnWindow(HWND hWindow, LPARAM param)
{
    auto *own = reinterpret_cast<OwnWindow *>(param);
    DWORD owner = 0;
    char cls[64] = "";
    GetWindowThreadProcessId(hWindow, &owner);
    GetClassNameA(hWindow, cls, sizeof cls);
    if (owner != own->processId || std::strcmp(cls, "QUILLBOXFRAME") || !IsWindowVisible(hWindow)) return TRUE;
    own->hWindow = hWindow;
    return FALSE;
}

bool StartProgram(const std::string &exe, const std::string &dir, Program &p)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &p.pi)) {
        Check(false, "start %s in %s (error %lu)", exe.c_str(), dir.c_str(), GetLastError());
        return false;
    }
    WaitForInputIdle(p.pi.hProcess, 60000);
    OwnWindow own{p.pi.dwProcessId, nullptr};
    for (int i = 0; i < 600 && !own.hWindow; ++i)
        if (EnumWindows(FindOwnWindow, LPARAM(&own))) Sleep(100);
    p.hWindow = own.hWindow;
    Check(p.hWindow != nullptr, "its window found (process %lu, in %s)", p.pi.dwProcessId, dir.c_str());
    return p.hWindow && CheckStatic(p);
}

BOOL CALLBACK ListOtherWindow(HWND hWindow, LPARAM param)
{
    auto *others = reinterpret_cast<std::string *>(param);
    char cls[64] = "", title[64] = "";
    GetClassNameA(hWindow, cls, sizeof cls);
    GetWindowTextA(hWindow, title, sizeof title);
    if (IsWindowVisible(hWindow) && std::strcmp(cls, "QUILLBOXFRAME"))
        *others += std::string(others->empty() ? "" : ", ") + cls + " \"" + title + "\"";
    return TRUE;
}

struct Follow {
    const Program *p;
    std::string dir;
};

DWORD WINAPI FollowSecond(void *param)
{
    const Follow &f = *static_cast<const Follow *>(param);
    who = "[B] ";
    Sleep(100);
    FollowRun(*f.p, 1, Close::no, false, f.dir);
    return 0;
}

void TwoPrograms(const std::string &exe, const std::string &dir)
{
    for (int apart = 0; apart < 2; ++apart) {
        std::string dirs[2] = {dir, dir};
        if (apart) {
            dirs[0] += "\\a";
            dirs[1] += "\\b";
            CreateDirectoryA(dirs[0].c_str(), nullptr);
            CreateDirectoryA(dirs[1].c_str(), nullptr);
        }
        std::printf("== two programs %s, their buttons clicked 100 ms apart\n", apart ? "in two folders" : "in one folder");
        Program p[2];
        const char *tags[2] = {"[A] ", "[B] "};
        bool started = true;
        for (int i = 0; i < 2; ++i) {
            who = tags[i];
            started = StartProgram(exe, dirs[i], p[i]) && started;
        }
        who = "";
        if (started) {
            Follow second{&p[1], dirs[1]};
            HANDLE hSecond = CreateThread(nullptr, 0, FollowSecond, &second, 0, nullptr);
            who = tags[0];
            FollowRun(p[0], 1, Close::no, false, dirs[0]);
            who = "";
            WaitForSingleObject(hSecond, INFINITE);
            CloseHandle(hSecond);
            std::string others;
            EnumWindows(ListOtherWindow, LPARAM(&others));
            Check(others.empty(), "no other window on the screen (no crash dialog)%s%s", others.empty() ? "" : ": ",
                  others.c_str());
            for (int i = 0; i <= apart; ++i) CheckFiles(dirs[i]);
        }
        for (int i = 0; i < 2; ++i) {
            who = tags[i];
            if (!p[i].pi.hProcess) continue;
            std::string how;
            bool closed = CloseProgram(p[i], how); // before the line reads how
            Check(closed, "closed: program %s", how.c_str());
            if (WaitForSingleObject(p[i].pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(p[i].pi.hProcess, 1);
            CloseHandle(p[i].pi.hProcess), CloseHandle(p[i].pi.hThread);
        }
        who = "";
        for (int i = 0; i < 2; ++i) { // 2 GB each: gone before the next case
            DeleteFileA((dirs[i] + "\\testfile.tmp").c_str());
            DeleteFileA((dirs[i] + "\\testfile2.tmp").c_str());
        }
    }
}
