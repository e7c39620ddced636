// Stand-in for CopyFileExA: the call goes into the platform log, and the tests' copy service copies.
#include <windows.h>

#include <cstdio>

#include "copy_stand_in.h"
#include "fake_messages.h"

void SetLastError(DWORD) {}

BOOL CopyFileExA(LPCSTR existingName, LPCSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
                 DWORD flags)
{
    char call[512];
    snprintf(call, sizeof call, "copy %s to %s, context 0x%lx, %s, flags %lu", existingName, newName,
             (unsigned long)(uintptr_t)data, cancel ? "a cancel flag" : "no cancel flag", (unsigned long)flags);
    PlatformLog().push_back(call);
    return CopyWithProgress(existingName, newName, progress, data, cancel, flags);
}
