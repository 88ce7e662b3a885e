// SPDX-License-Identifier: GPL-3.0-or-later
// Every liquid-dsp object the receiver uses, owned as a C++ object, and the filter designs they
// start from. Where the receiver runs kernels of its own instead (dsp/kernels.h and the objects
// built on them), liquid-dsp's was measured slower on Debian's build, which has no vector
// instructions.
#pragma once

#include <complex>
// <complex> first: liquid-dsp then uses std::complex<float> for its complex type.
#include <liquid/liquid.h>

#include <memory>
#include <vector>

namespace tavimor::dsp {

template <typename Object, int (*destroy)(Object*)>
struct LiquidDeleter {
  void operator()(Object* object) const { destroy(object); }
};

using FirDecimator =
    std::unique_ptr<firdecim_crcf_s, LiquidDeleter<firdecim_crcf_s, firdecim_crcf_destroy>>;
using FirFilter =
    std::unique_ptr<firfilt_crcf_s, LiquidDeleter<firfilt_crcf_s, firfilt_crcf_destroy>>;
// Its output is the frequency in units of the deviation it was made for.
using FreqDemodulator = std::unique_ptr<freqdem_s, LiquidDeleter<freqdem_s, freqdem_destroy>>;

// Kaiser-windowed low-pass taps with unity gain at 0 Hz, an odd number of them so that the delay
// is a whole number of samples; frequencies relative to the sample rate.
std::vector<float> lowPassTaps(double passband, double stopband, double attenuationDb);
// The same low-pass moved up to pass from low to high with unity gain, half at the edges.
std::vector<float> bandPassTaps(double low, double high, double transition, double attenuationDb);

FirDecimator makeDecimator(unsigned factor, std::vector<float> taps);
FirFilter makeFilter(std::vector<float> taps);
FreqDemodulator makeFreqDemodulator(double deviationHz, double sampleRate);

}  // namespace tavimor::dsp
