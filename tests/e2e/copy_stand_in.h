// The copy service that the probe puts in place of the program's CopyFileExA
// (copy_stand_in.cpp), and what it counts for the driver.
#ifndef SPINDLEWORK_E2E_COPY_STAND_IN_H
#define SPINDLEWORK_E2E_COPY_STAND_IN_H

#include <windows.h>

extern DWORD copyChunk;         // bytes moved between two progress calls (default 1 MiB)
extern volatile LONG copyCalls; // copies asked for since the probe came in
extern volatile LONG progressCalls; // progress routine calls, all copies together
extern volatile LONG lastCopyResult; // what the last copy returned

extern "C" __declspec(dllexport) BOOL WINAPI CopyWithProgress(LPCSTR existingName, LPCSTR newName,
                                                              LPPROGRESS_ROUTINE progress, LPVOID data,
                                                              LPBOOL cancel, DWORD flags);

#endif
