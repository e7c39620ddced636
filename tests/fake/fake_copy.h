// Test side of the stand-in's copy service.
#ifndef SPINDLEWORK_FAKE_COPY_H
#define SPINDLEWORK_FAKE_COPY_H

#include <cstddef>

// Bytes moved between two calls of the progress routine.
size_t &FakeCopyChunkSize();

#endif
