// The program seen from outside, as any client sees it: started, its window and controls found,
// the probe brought in, one run followed through the probe's record, closed. For the end-to-end
// driver and the benchmark's.
#ifndef SPINDLEWORK_E2E_PROGRAM_H
#define SPINDLEWORK_E2E_PROGRAM_H

#include <windows.h>

#include <string>
#include <vector>

#include "probe.h"

struct Program {
    PROCESS_INFORMATION pi{};
    HWND hWindow = nullptr, hButton = nullptr, hBar = nullptr;
    DWORD windowThread = 0;
    Probe *probe = nullptr; // shared with the probe in the program, once it is in
};

double NowMs();
double CounterMs(LONGLONG counter); // a QueryPerformanceCounter value in ms
// A Unix path (/...) as a path on Wine's Z: drive.
std::string WinPath(std::string path);

// Starts exe in dir as a double-click in Explorer does: in the normal show state, with no
// standard handles, or only standard output and error, hOut. Waits for its window, found by
// class and title, and the window's button and bar. "" when all is there, else what is not.
std::string StartProgram(Program &p, const std::string &exe, const std::string &dir, HANDLE hOut = nullptr);
// Brings the probe into the program's window thread; false when it does not record.
bool AttachProbe(Program &p);
// A message to the program's window thread; false when it does not answer within 5 s.
bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result);
// Something asked of the probe; false when it was not done.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp = 0);

// One run as the probe recorded it: the window thread's calls and the worker's.
struct Run {
    std::vector<Call> window, worker;
    std::string end; // "" once the window has handled all the worker posted; else what happened instead
};
// Clicks the button and follows the record until the window has handled what the worker posted
// last, or the worker is held (end "held"), or the program ends, or (with answering) stops
// answering, or nothing new comes for stallMs. onRead, when given, sees the record as it grows.
void FollowRun(const Program &p, Run &run, double stallMs, bool answering,
               void (*onRead)(const Program &, const Run &) = nullptr);
// Closes the window as its close box would and waits up to 10 s for the program to end;
// windowCalls gets what the window thread called meanwhile. "ended, exit code N" or why not.
std::string CloseProgram(const Program &p, std::vector<Call> *windowCalls = nullptr);

#endif
