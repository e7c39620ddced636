// Stand-in for committing and releasing virtual memory: zeroed pages from calloc, failures on request.
#include "fake_memory.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

FakeMemoryState &FakeMemory()
{
    static FakeMemoryState state;
    return state;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protection)
{
    FakeMemoryState &state = FakeMemory();
    if (state.failCommits > 0) {
        --state.failCommits;
        return NULL;
    }
    if (address || type != (MEM_COMMIT | MEM_RESERVE) || protection != PAGE_READWRITE)
        return NULL;
    state.mostLiveRegions = std::max(state.mostLiveRegions, ++state.liveRegions);
    return calloc(1, size);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type)
{
    if (!address || size != 0 || type != MEM_RELEASE)
        return FALSE;
    --FakeMemory().liveRegions;
    free(address);
    return TRUE;
}
