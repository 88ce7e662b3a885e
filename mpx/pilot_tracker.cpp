// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/pilot_tracker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavimor::mpx {
namespace {

constexpr double kPassbandHz = 50.0;
constexpr double kAttenuationDb = 60.0;
// Loop bandwidth about 10 Hz: a 100 ppm clock error is 1.9 Hz at 19 kHz.
constexpr double kLoopBandwidthHz = 10.0;
constexpr double kDamping = 0.707;
// Time constants of the level the phase error is scaled by, and of the lock measure.
constexpr double kLevelSeconds = 0.5;
constexpr double kLockSeconds = 0.2;
// The pilot counts as there when the loop's phase is this steady, and as gone only after it has
// been unsteady for a while: a fade is no reason to give up the clock.
constexpr double kLockOn = 0.85;
constexpr double kLockOff = 0.6;
constexpr double kGoneSeconds = 3.0;
// Power ratio; a pilot at 9 % of the deviation is about 4 to 20 times an RDS subcarrier's power.
constexpr double kLeastPilotToRds = 0.2;

}  // namespace

PilotTracker::PilotTracker(double rate, double delay) {
  const double decimatedRate = rate / kDecimation;
  std::vector<float> taps =
      lowPassTaps(kPassbandHz / rate, (decimatedRate - kPassbandHz) / rate, kAttenuationDb);
  lag_ = static_cast<double>(taps.size() - 1) / 2.0 + delay;
  filter_ = makeDecimator(kDecimation, std::move(taps));
  rate_ = decimatedRate;
  const double omega = 2.0 * kLoopBandwidthHz / (kDamping + 1.0 / (4.0 * kDamping)) / rate_;
  proportional_ = 2.0 * kDamping * omega;
  integral_ = omega * omega;
}

void PilotTracker::push(std::complex<float> pilot, std::complex<float> rds) {
  rdsPower_ += (std::norm(rds) - rdsPower_) / (kLevelSeconds * rate_ * kDecimation);
  block_[filled_++] = pilot;
  sinceUpdate_ += 1.0;
  if (filled_ == kDecimation) {
    filled_ = 0;
    std::complex<float> decimated;
    firdecim_crcf_execute(filter_.get(), block_.data(), &decimated);
    track(decimated);
    sinceUpdate_ = 0.0;
  }
  // The loop's phase is for the next decimated sample, the filter's delay after the newest.
  phaseNow_ = phase_ + frequency_ * (sinceUpdate_ + lag_ - kDecimation) / kDecimation;
}

void PilotTracker::track(std::complex<float> pilot) {
  const std::complex<double> z(pilot);
  const double magnitude = std::abs(z);
  if (tracked_++ == 0) {
    phase_ = std::arg(z);
    amplitude_ = magnitude;
    return;
  }
  const std::complex<double> turned = z * std::polar(1.0, -phase_);
  const double level = 1.0 / (kLevelSeconds * rate_);
  amplitude_ += level * (magnitude - amplitude_);
  const double error = amplitude_ > 0.0 ? std::clamp(turned.imag() / amplitude_, -1.0, 1.0) : 0.0;
  frequency_ += integral_ * error;
  phase_ += frequency_ + proportional_ * error;

  const double lock = 1.0 / (kLockSeconds * rate_);
  aligned_ += lock * (turned.real() - aligned_);
  magnitude_ += lock * (magnitude - magnitude_);
  const double steadiness = magnitude_ > 0.0 ? aligned_ / magnitude_ : 0.0;
  // A pilot stands well above the RDS subcarrier: a steady trace far below it is only leakage.
  const bool strong = amplitude_ * amplitude_ > kLeastPilotToRds * rdsPower_;
  if (steadiness > kLockOn && strong) {
    present_ = true;
    lowFor_ = 0.0;
  } else if (steadiness < kLockOff || !strong) {
    lowFor_ += 1.0 / rate_;
    if (lowFor_ > kGoneSeconds) present_ = false;
  }
}

}  // namespace tavimor::mpx
