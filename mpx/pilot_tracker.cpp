// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/pilot_tracker.h"

#include <cmath>

#include "dsp/constants.h"

namespace tavimor::mpx {
namespace {

using dsp::kPilotHz;
using dsp::kTwoPi;

constexpr double kPassbandHz = 50.0;
constexpr double kAttenuationDb = 60.0;
// About 10 Hz: a 100 ppm clock error is 1.9 Hz at 19 kHz.
constexpr double kLoopBandwidthHz = 10.0;
// A receiver's clock is within this of its nominal rate.
constexpr double kMostClockError = 500e-6;
// Time constants of the levels the pilot is judged by, and of the lock measure.
constexpr double kLevelSeconds = 0.5;
constexpr double kLockSeconds = 0.2;
// The pilot counts as there when the loop's phase is this steady, and as gone only after it has
// been unsteady for a while: a fade is no reason to give up the clock.
constexpr double kLockOn = 0.85;
constexpr double kLockOff = 0.6;
constexpr double kGoneSeconds = 3.0;
// Before this much of it has been followed, a trace is too short to call steady.
constexpr double kLeastSeconds = 0.1;
// Power ratio; a pilot at 9 % of the deviation is about 4 to 20 times an RDS subcarrier's power.
constexpr double kLeastPilotToRds = 0.2;
// A sample of the filtered pilot below this share of its steady level is taken for noise.
constexpr double kLeastShareOfLevel = 0.25;

}  // namespace

PilotTracker::PilotTracker(double rate, double delay)
    : rate_(rate / kDecimation),
      loop_({.bandwidth = kLoopBandwidthHz / rate_,
             .slope = 1.0,
             .mostFrequency = kTwoPi * kPilotHz * kMostClockError / rate_}),
      pilotPower_(kLevelSeconds * rate_),
      rdsPower_(kLevelSeconds * rate_ * kDecimation),
      steadyLevel_(kLevelSeconds * rate_),
      aligned_(kLockSeconds * rate_),
      magnitude_(kLockSeconds * rate_) {
  std::vector<float> taps =
      dsp::lowPassTaps(kPassbandHz / rate, (rate_ - kPassbandHz) / rate, kAttenuationDb);
  lag_ = static_cast<double>(taps.size() - 1) / 2.0 + delay;
  filter_ = dsp::makeDecimator(kDecimation, std::move(taps));
}

double PilotTracker::frequencyError() const {
  return loop_.frequency() * rate_ / (kTwoPi * kPilotHz);
}

void PilotTracker::push(std::complex<float> pilot, std::complex<float> rds) {
  rdsPower_.add(std::norm(rds));
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
  phaseNow_ = loop_.phase() + loop_.frequency() * (sinceUpdate_ + lag_ - kDecimation) / kDecimation;
}

void PilotTracker::track(std::complex<float> pilot) {
  const std::complex<double> z(pilot);
  if (tracked_++ == 0) loop_.turn(std::arg(z));
  const std::complex<double> turned = z * std::polar(1.0, -loop_.phase());
  const double magnitude = std::abs(z);
  // The angle itself: neither the pilot's level nor a click can make it more than half a turn.
  // Where a pilot was, a sample far below its level is noise (a mono programme, a fade): the loop
  // coasts, as the transmitter's clock goes on, rather than wander hundreds of ppm off in the
  // seconds before the pilot counts as gone.
  if (!present_ || magnitude >= kLeastShareOfLevel * steadyLevel_.value())
    loop_.correct(std::arg(turned));
  loop_.advance();
  if (judge(turned, magnitude)) steadyLevel_.add(magnitude);
}

bool PilotTracker::judge(std::complex<double> turned, double magnitude) {
  pilotPower_.add(magnitude * magnitude);
  aligned_.add(turned.real());
  magnitude_.add(magnitude);
  const double steadiness = magnitude_.value() > 0.0 ? aligned_.value() / magnitude_.value() : 0.0;
  // A pilot stands well above the RDS subcarrier: a steady trace far below it is only leakage.
  const bool strong = pilotPower_.value() > kLeastPilotToRds * rdsPower_.value();
  const bool longEnough = static_cast<double>(tracked_) >= kLeastSeconds * rate_;
  if (steadiness > kLockOn && strong && longEnough) {
    present_ = true;
    lowFor_ = 0.0;
  } else if (steadiness < kLockOff || !strong) {
    lowFor_ += 1.0 / rate_;
    if (lowFor_ > kGoneSeconds) present_ = false;
  }
  return steadiness > kLockOn;
}

}  // namespace tavimor::mpx
