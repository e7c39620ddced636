// Stand-in for private heaps: malloc underneath, with allocations that can be made to fail.
#include "fake_heap.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

FakeHeapState &FakeHeap()
{
    static FakeHeapState state;
    return state;
}

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T)
{
    if (FakeHeap().failCreate)
        return NULL;
    ++FakeHeap().liveHeaps;
    return (HANDLE)&FakeHeap();
}

LPVOID HeapAlloc(HANDLE heap, DWORD, SIZE_T bytes)
{
    FakeHeapState &state = FakeHeap();
    if (heap != (HANDLE)&state || state.failAllocations.count(state.allocations++))
        return NULL;
    state.mostLiveBlocks = std::max(state.mostLiveBlocks, ++state.liveBlocks);
    return malloc(bytes);
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block)
{
    if (heap != (HANDLE)&FakeHeap() || !block)
        return FALSE;
    --FakeHeap().liveBlocks;
    free(block);
    return TRUE;
}

BOOL HeapDestroy(HANDLE heap)
{
    if (heap != (HANDLE)&FakeHeap())
        return FALSE;
    --FakeHeap().liveHeaps;
    return TRUE;
}
