// Each figure is measured in a fresh process of its own, started by the driver. It prints its
// results as "name value" lines on standard output.
#pragma once

#include <chrono>
#include <cstddef>

namespace tavimor::bench {

// Throughput is measured in rounds; the first is a warm-up, the median of the others counts.
inline constexpr std::size_t kDecodeRounds = 6;
inline constexpr std::size_t kDecodePacketsPerRound = 1'000'000;
inline constexpr std::size_t kWindowRounds = 10;
// Caches and first-used library code settle within one round; growth after it would be a leak.
inline constexpr std::size_t kWindowPacketsPerRound = 100'000;
inline constexpr std::size_t kWindowPackets = kWindowRounds * kWindowPacketsPerRound;
inline constexpr std::size_t kLatencyPackets = 2'000;
inline constexpr std::chrono::seconds kIdleTime{10};

// packets_per_cpu_second (CPU time of the process) and packets_per_second (wall clock) of the
// receive handler on the display-field model alone, and slowest_round_per_cpu_second.
int measureDecodeThroughput();

// The same three through the window with the event loop run after every packet; the resident
// set before them, after the warm-up round and after them all (rss_before_kib, rss_warm_kib,
// rss_after_kib), and its anonymous part before and after (anonymous_before_kib, _after_kib).
int measureWindowThroughput();

// median_us, p99_us and max_us from a packet's last byte written to the pseudo-terminal until
// the window has painted it, and set_median_us and set_p99_us until its fields are set;
// mismatches counts packets the window showed differently from a model fed the same packets.
int measureLatency();

// Prints "ready" once the window is shown, then idles in the event loop until it is ended.
int holdIdleWindow();

// startup_ms from spawnedAt (CLOCK_MONOTONIC, taken by the driver just before it started this
// process) until the window's first frame is painted, and rss_kib then.
int measureStartup(std::chrono::nanoseconds spawnedAt);

}  // namespace tavimor::bench
