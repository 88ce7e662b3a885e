// SPDX-License-Identifier: GPL-3.0-or-later
// A narrow phase-locked loop on the 19 kHz pilot, and whether there is a pilot at all. Its phase
// gives both the subcarrier's (3 x) and the bit clock's (1/16) in a stereo transmitter whose RDS
// encoder is locked to it.
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>

#include "dsp/liquid.h"
#include "dsp/running_mean.h"
#include "dsp/tracking_loop.h"

namespace tavimor::mpx {

class PilotTracker {
 public:
  // rate: of the pilot's baseband samples; delay: theirs behind the RDS baseband, in samples.
  PilotTracker(double rate, double delay);

  // pilot: the pilot's baseband; rds: the RDS baseband, the level the pilot is judged against.
  void push(std::complex<float> pilot, std::complex<float> rds);

  bool present() const { return present_; }
  // The pilot's phase against the mixer's, unwrapped, at the latest sample pushed.
  double phase() const { return phaseNow_; }
  // How far the pilot's frequency is off the mixer's 19 kHz, as a share of it.
  double frequencyError() const;
  // The pilot's peak, in the multiplex's units.
  double level() const { return 2.0 * std::sqrt(pilotPower_.value()); }

 private:
  static constexpr unsigned kDecimation = 8;

  void track(std::complex<float> pilot);
  // Whether the loop's trace is steady.
  bool judge(std::complex<double> turned, double magnitude);

  dsp::FirDecimator filter_;
  std::array<std::complex<float>, kDecimation> block_{};
  unsigned filled_ = 0;
  double rate_ = 0.0;  // of the loop's corrections
  dsp::TrackingLoop loop_;
  double lag_ = 0.0;  // of the filtered pilot behind the RDS baseband, in samples
  double phaseNow_ = 0.0;
  dsp::RunningMean<double> pilotPower_;
  dsp::RunningMean<double> rdsPower_;
  // The filtered pilot's magnitude while its trace is steady.
  dsp::RunningMean<double> steadyLevel_;
  // The loop's phase error as a vector, in phase and in magnitude: how steady it is.
  dsp::RunningMean<double> aligned_;
  dsp::RunningMean<double> magnitude_;
  std::uint64_t tracked_ = 0;
  double sinceUpdate_ = 0.0;
  double lowFor_ = 0.0;
  bool present_ = false;
};

}  // namespace tavimor::mpx
