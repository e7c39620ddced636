// Test side of the stand-in's private heaps: failing allocations, and what was live at once.
#ifndef SPINDLEWORK_FAKE_HEAP_H
#define SPINDLEWORK_FAKE_HEAP_H

#include <set>

struct FakeHeapState {
    std::set<int> failAllocations; // 0-based numbers of the HeapAlloc calls that fail
    bool failCreate = false;
    int allocations = 0;           // HeapAlloc calls so far
    int liveBlocks = 0;
    int mostLiveBlocks = 0;
    int liveHeaps = 0;
};
FakeHeapState &FakeHeap();

#endif
