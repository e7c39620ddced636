// Test side of the stand-in's virtual memory: a commit that can be made to fail, and what is live.
#ifndef SPINDLEWORK_FAKE_MEMORY_H
#define SPINDLEWORK_FAKE_MEMORY_H

struct FakeMemoryState {
    int failCommits = 0; // so many commits from now on fail
    int liveRegions = 0;
    int mostLiveRegions = 0;
};
FakeMemoryState &FakeMemory();

#endif
