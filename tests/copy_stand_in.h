// The tests' copy service: what the native tests' platform copies with, and what the end-to-end
// probe puts in the place of the program's CopyFileExA (Wine's own never calls the progress routine).
#ifndef SPINDLEWORK_COPY_STAND_IN_H
#define SPINDLEWORK_COPY_STAND_IN_H

#include <windows.h>

#include <cstddef>

extern size_t copyChunk; // bytes moved between two calls of the progress routine (1 MiB unless set)

BOOL WINAPI CopyWithProgress(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                             LPBOOL cancel, DWORD flags);

#endif
