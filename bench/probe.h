// What the benchmark driver and its probe inside the program share, in named shared memory:
// the moments the worker posted its bar positions and the moments the bar got and painted them.
#ifndef SPINDLEWORK_BENCH_PROBE_H
#define SPINDLEWORK_BENCH_PROBE_H

#include <windows.h>

const char benchProbeName[] = "spindlework-bench-probe";
// Set by the probe when the bar goes back to 0 after 100: the run is done.
const char benchProbeDoneName[] = "spindlework-bench-probe-done";

enum StampKind { stampPosted = 1, stampSet = 2, stampPainted = 3 };

struct Stamp {
    LONGLONG counter; // QueryPerformanceCounter
    LONG kind, value;
};

struct BenchProbe {
    LONG following;     // 1 once the bar and the worker's posts are followed
    volatile LONG count; // stamps taken so far (they stop when full)
    Stamp stamps[16384];
};

#endif
