// SPDX-License-Identifier: GPL-3.0-or-later
// liquid-dsp's FM discriminator, owned.
#pragma once

#include <complex>
// <complex> first: liquid-dsp then uses std::complex<float> for its complex type.
#include <liquid/liquid.h>

#include <memory>

namespace tavimor::fm {

struct FreqDemDeleter {
  void operator()(freqdem_s* demodulator) const { freqdem_destroy(demodulator); }
};
using FreqDemodulator = std::unique_ptr<freqdem_s, FreqDemDeleter>;

// Its output is the frequency in units of deviationHz.
FreqDemodulator makeFreqDemodulator(double deviationHz, double sampleRate);

}  // namespace tavimor::fm
