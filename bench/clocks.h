// The two clocks the figures are read from.
#pragma once

#include <time.h>

#include <chrono>

namespace tavimor::bench {

inline std::chrono::nanoseconds readClock(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// System-wide, so that a time taken in one process can be compared in another.
inline std::chrono::nanoseconds monotonicNow() {
  return readClock(CLOCK_MONOTONIC);
}

// CPU time of every thread of this process.
inline std::chrono::nanoseconds processCpuTime() {
  return readClock(CLOCK_PROCESS_CPUTIME_ID);
}

}  // namespace tavimor::bench
