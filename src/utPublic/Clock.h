// The high-resolution counter: a monotonic clock that never jumps with the
// wall time, read in nanoseconds.
#pragma once

#include <cstdint>

// Counts per second of ReadPerfCounter(); 0 when the system has no monotonic
// clock (never the case on Linux, kept so that callers handle it).
int64_t QueryPerfFrequency();

// The current count; 0 when the clock cannot be read.
int64_t ReadPerfCounter();

// Blocks the calling thread, handling nothing, for the given nanoseconds.
void SleepNs(int64_t ns);
