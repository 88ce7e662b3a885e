// SPDX-License-Identifier: GPL-3.0-or-later
// The mean every level, power and clarity in the receiver is followed by: the plain mean of what
// it has been given until it has the given length, an exponential one of that length after, so
// that it is quick to start and steady once settled.
#pragma once

#include <algorithm>
#include <complex>
#include <cstdint>

namespace tavimor::dsp {

template <typename T>
class RunningMean {
 public:
  // A length under one value would overshoot: it means the latest value alone.
  explicit RunningMean(double settledLength) : settledLength_(std::max(1.0, settledLength)) {}

  void add(T value) {
    ++count_;
    mean_ +=
        (value - mean_) / static_cast<Real>(std::min(settledLength_, static_cast<double>(count_)));
  }
  T value() const { return mean_; }
  // How many values it was given since it started.
  std::uint64_t count() const { return count_; }
  // Starts again: the next value replaces the mean.
  void restart() { count_ = 0; }
  // As if `count` values had come, whose mean is `mean`.
  void restartFrom(T mean, std::uint64_t count) {
    mean_ = mean;
    count_ = count;
  }

 private:
  using Real = decltype(std::abs(T{}));

  double settledLength_;
  T mean_{};
  std::uint64_t count_ = 0;
};

}  // namespace tavimor::dsp
