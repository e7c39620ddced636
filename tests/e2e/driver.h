// What the end-to-end driver's files share: driver.cpp (start, checks of the window, runs
// followed to their end), long_use.cpp and copy_reports.cpp.
#ifndef SPINDLEWORK_E2E_DRIVER_H
#define SPINDLEWORK_E2E_DRIVER_H

#include <windows.h>

#include <string>
#include <vector>

#include "probe.h"

// One line per check, ok or FAIL; failures counts the FAILs.
void Check(bool ok, const char *fmt, ...);
extern int failures;

double NowMs();
const long long jobBytes = 1001LL * 1000000; // the job's 1,001 blocks of 1,000,000 bytes
// The file exactly jobBytes of "A" and held open by nobody; CheckFiles: testfile.tmp and
// testfile2.tmp in dir both so.
void CheckFile(const std::string &path);
void CheckFiles(const std::string &dir);

struct Program {
    PROCESS_INFORMATION pi{};
    HWND hWindow = nullptr, hButton = nullptr, hBar = nullptr;
    DWORD windowThread = 0;
    Probe *probe = nullptr; // shared with the probe in the program
};

// A message to the program's window thread; false when it does not answer within 5 s.
bool Ask(HWND hWindow, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result);
// Something asked of the probe (ProbeAsk); false when it was not done.
bool AskProbe(const Program &p, ProbeAsk what, LPARAM lp = 0);
HMODULE LoadProbeDll(char (&path)[MAX_PATH]);
// Where a control sits in the program's window (got); true when that is want.
bool ControlAt(const Program &p, HWND hChild, RECT want, RECT &got);

enum class Close { no, writing, copying, pause };
// The copy positions that the rules give for this run (--own-copy); null with the platform's
// copy service, which never calls the progress routine.
extern const std::vector<int> *copyPositions;

// long_use.cpp
void AfterSoakRun(const Program &p, const std::string &dir, int run);
void SoakReport();
DWORD WINAPI PersonAtWindow(void *program);

// copy_reports.cpp
bool TakeReportOption(const std::string &option); // --own-copy[=BYTES,...], --console=WxH,ROWS
bool OwnCopy();
bool WantsConsole();
void CheckCopyStandIn(const std::string &dir);
void GiveConsole(const Program &p);
void ExpectReports(const Program &p, int run);
void CheckReports(const Program &p, int run, const std::string &out);
void StartPipeReader(HANDLE hPipe);
void CheckPipeEnd();

#endif
