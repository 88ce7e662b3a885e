// SPDX-License-Identifier: GPL-3.0-or-later
// The only work done at the input rate: the multiplex signal is mixed down by 57 kHz (the RDS
// subcarrier) and by 19 kHz (the pilot), and both are low-passed and decimated to about 9.5 kHz:
// the RDS band by a filter of its own, the pilot by summing each block, whose nulls fall on every
// frequency that would alias onto it.
// The subcarrier's oscillator is the pilot's third harmonic, so 3 x the pilot's phase is the
// subcarrier's at every sample.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "dsp/liquid.h"
#include "dsp/oscillator.h"

namespace tavimor::mpx {

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
  double pilotDelay() const { return (decimation_ - 1) / 2.0; }

  // Appends one baseband sample for every `decimation()` input samples.
  void process(std::span<const float> samples, std::vector<BasebandSample>& out);

 private:
  void mix(const float* samples, std::size_t count);

  unsigned decimation_;
  double outputRate_;
  double rdsDelay_ = 0.0;
  static constexpr unsigned kSubcarrierHarmonic = 3;

  dsp::Oscillator pilot_;
  std::vector<std::complex<float>> rdsBlock_;
  float pilotSumRe_ = 0.0F;
  float pilotSumIm_ = 0.0F;
  std::size_t filled_ = 0;
  dsp::FirDecimator rdsFilter_;
};

}  // namespace tavimor::mpx
