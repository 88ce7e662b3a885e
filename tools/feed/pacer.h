// SPDX-License-Identifier: GPL-3.0-or-later
// Spaces the groups out on the steady clock: at a steady rate as a receiver sends them, or at the
// times a log recorded.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <utility>

#include "tools/feed/group_log.h"
#include "tools/feed/stop_request.h"

namespace tavimor::feed {

using PaceClock = std::chrono::steady_clock;

// The time between two groups at groupsPerSecond; zero for 0, which means no pause at all.
inline PaceClock::duration intervalAt(double groupsPerSecond) {
  if (groupsPerSecond <= 0) return PaceClock::duration::zero();
  return std::chrono::duration_cast<PaceClock::duration>(
      std::chrono::duration<double>(1.0 / groupsPerSecond));
}

// Returns at due, or early with false when stop is set.
inline bool waitUntil(PaceClock::time_point due, const std::atomic<bool>& stop) {
  constexpr std::chrono::milliseconds kStopCheckInterval{kStopCheckMilliseconds};
  while (!stop && PaceClock::now() < due) {
    std::this_thread::sleep_until(std::min(due, PaceClock::now() + kStopCheckInterval));
  }
  return !stop;
}

class Pacer {
 public:
  // Returns when the next group is due: the first at once, each later one gap after the one
  // before. Returns false early if stop is set.
  bool waitForTurn(PaceClock::duration gap, const std::atomic<bool>& stop) {
    const PaceClock::time_point now = PaceClock::now();
    // Due times follow on from each other so that pauses do not drift, but after a stall (a
    // blocked line, a slow source) the schedule starts again rather than sending a burst to catch
    // up.
    PaceClock::time_point due = previousDue_ ? *previousDue_ + gap : now;
    if (due + gap < now) due = now;
    previousDue_ = due;
    return waitUntil(due, stop);
  }

 private:
  std::optional<PaceClock::time_point> previousDue_;
};

// The gaps of a timed replay: each stamped group comes as long after the stamped group before it
// as it did on air, and a group without a stamp comes unstampedGap after the group before it.
class RecordedGaps {
 public:
  RecordedGaps(PaceClock::duration unstampedGap, std::chrono::milliseconds maxGap)
      : unstampedGap_(unstampedGap), maxGap_(maxGap) {}

  // The gap before the group with this timestamp, after the group before it.
  PaceClock::duration before(const std::optional<LogTime>& time) {
    if (!time) {
      sinceStampedGroup_ += unstampedGap_;
      return unstampedGap_;
    }
    const bool firstStamp = !anyStamp_;
    const Centiseconds recordedStep = *time - previousTime_;
    anyStamp_ = true;
    previousTime_ = *time;
    if (firstStamp) {
      sinceStampedGroup_ = {};
      return unstampedGap_;
    }
    const PaceClock::duration step = limited(recordedStep);
    const PaceClock::duration sinceStampedGroup = std::exchange(sinceStampedGroup_, {});
    return std::max(step - sinceStampedGroup, PaceClock::duration::zero());
  }

  // Gaps longer than the limit, shortened to it.
  std::uint64_t shortenedGaps() const { return shortenedGaps_; }
  // Timestamps earlier than the one before (a clock set back), whose groups went without a wait.
  std::uint64_t backwardSteps() const { return backwardSteps_; }

 private:
  PaceClock::duration limited(Centiseconds step) {
    if (step < Centiseconds::zero()) {
      ++backwardSteps_;
      return PaceClock::duration::zero();
    }
    if (step > maxGap_) {
      ++shortenedGaps_;
      return maxGap_;
    }
    return step;
  }

  PaceClock::duration unstampedGap_;
  std::chrono::milliseconds maxGap_;
  // The timestamp of the last stamped group, if there was one.
  bool anyStamp_ = false;
  LogTime previousTime_{};
  // The unstamped gaps since the last stamped group, which the next stamped one has waited already.
  PaceClock::duration sinceStampedGroup_{};
  std::uint64_t shortenedGaps_ = 0;
  std::uint64_t backwardSteps_ = 0;
};

}  // namespace tavimor::feed
