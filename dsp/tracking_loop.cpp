// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/tracking_loop.h"

#include <algorithm>

namespace tavimor::dsp {
namespace {

constexpr double kDamping = 0.707;

}  // namespace

// The loop filter's gains for this noise bandwidth and damping, in the loop's discrete form.
TrackingLoop::TrackingLoop(const LoopSettings& settings) : mostFrequency_(settings.mostFrequency) {
  const double theta = settings.bandwidth / (kDamping + 1.0 / (4.0 * kDamping));
  const double denominator = 1.0 + 2.0 * kDamping * theta + theta * theta;
  proportional_ = 4.0 * kDamping * theta / (denominator * settings.slope);
  integral_ = 4.0 * theta * theta / (denominator * settings.slope);
}

void TrackingLoop::correct(double error) {
  phase_ += proportional_ * error;
  setFrequency(frequency_ + integral_ * error);
}

void TrackingLoop::setFrequency(double frequency) {
  frequency_ = std::clamp(frequency, -mostFrequency_, mostFrequency_);
}

void TrackingLoop::setMostFrequency(double most) {
  mostFrequency_ = most;
  setFrequency(frequency_);
}

}  // namespace tavimor::dsp
