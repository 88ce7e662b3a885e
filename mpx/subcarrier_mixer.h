// SPDX-License-Identifier: GPL-3.0-or-later
// The only work done at the input rate: the multiplex signal is mixed down by 57 kHz (the RDS
// subcarrier) and by 19 kHz (the pilot) with one oscillator, and both are low-passed and decimated
// to about 9.5 kHz. Both mixers share their phase, so 3 x the pilot's phase is the subcarrier's.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "mpx/liquid_filters.h"

namespace tavimor::mpx {

inline constexpr double kPilotHz = 19'000.0;
inline constexpr double kSubcarrierHz = 3.0 * kPilotHz;

struct BasebandSample {
  std::complex<float> rds;
  std::complex<float> pilot;
};

class SubcarrierMixer {
 public:
  explicit SubcarrierMixer(double sampleRate);

  unsigned decimation() const { return decimation_; }
  double outputRate() const { return outputRate_; }
  // Input samples from a tone entering the RDS filter to its centre leaving it.
  double rdsDelay() const { return rdsDelay_; }
  double pilotDelay() const { return pilotDelay_; }

  // Appends one baseband sample for every `decimation()` input samples.
  void process(std::span<const float> samples, std::vector<BasebandSample>& out);

 private:
  unsigned decimation_;
  double outputRate_;
  double rdsDelay_;
  double pilotDelay_;
  // The oscillators' phasors over one block of `decimation_` samples, from the block's start.
  std::vector<std::complex<float>> pilotTurns_;
  std::vector<std::complex<float>> subcarrierTurns_;
  std::complex<double> pilotStart_{1.0, 0.0};
  std::complex<double> subcarrierStart_{1.0, 0.0};
  std::complex<double> pilotStep_;
  std::complex<double> subcarrierStep_;
  std::vector<std::complex<float>> rdsBlock_;
  std::vector<std::complex<float>> pilotBlock_;
  std::size_t filled_ = 0;
  FirDecimator rdsFilter_;
  FirDecimator pilotFilter_;
};

}  // namespace tavimor::mpx
