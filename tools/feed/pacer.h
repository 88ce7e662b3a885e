// Spaces the groups out as a receiver does, on the steady clock.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace tavimor::feed {

class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  // groupsPerSecond 0 means no pause at all.
  explicit Pacer(double groupsPerSecond) {
    if (groupsPerSecond > 0) {
      interval_ = std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(1.0 / groupsPerSecond));
    }
  }

  // Returns when the next group is due: the first at once, each later one an interval after the
  // one before. Returns false early if stop is set.
  bool waitForTurn(const std::atomic<bool>& stop) {
    if (!interval_) return !stop;
    const Clock::time_point now = Clock::now();
    // Due times are counted from the first group so that pauses do not drift, but after a stall
    // (a blocked line) the schedule starts again rather than sending a burst to catch up.
    if (!due_ || *due_ + *interval_ < now) due_ = now;
    while (!stop && Clock::now() < *due_) {
      std::this_thread::sleep_until(std::min(*due_, Clock::now() + kStopCheckInterval));
    }
    *due_ += *interval_;
    return !stop;
  }

 private:
  static constexpr std::chrono::milliseconds kStopCheckInterval{100};

  std::optional<Clock::duration> interval_;
  std::optional<Clock::time_point> due_;
};

}  // namespace tavimor::feed
