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
// Welch's averaged periodogram: windowed transforms, their power summed until cleared.
using Periodogram = std::unique_ptr<spgramcf_s, LiquidDeleter<spgramcf_s, spgramcf_destroy>>;
// A polyphase filter bank of evenly spaced channels, each at twice the spacing's rate.
using PolyphaseChannelizer =
    std::unique_ptr<firpfbch2_crcf_s, LiquidDeleter<firpfbch2_crcf_s, firpfbch2_crcf_destroy>>;

// Kaiser-windowed low-pass taps with unity gain at 0 Hz, an odd number of them so that the delay
// is a whole number of samples; frequencies relative to the sample rate.
std::vector<float> lowPassTaps(double passband, double stopband, double attenuationDb);
// The same low-pass moved up to pass from low to high with unity gain, half at the edges.
std::vector<float> bandPassTaps(double low, double high, double transition, double attenuationDb);

FirDecimator makeDecimator(unsigned factor, std::vector<float> taps);
FirFilter makeFilter(std::vector<float> taps);
FreqDemodulator makeFreqDemodulator(double deviationHz, double sampleRate);
// Hann-windowed transforms of `size` samples, one after every `size` samples written. The power it
// gives for a bin is |X|^2 with the window scaled to unit energy: the bins of a band summed and
// divided by `size` are the band's power.
Periodogram makePeriodogram(unsigned size);
// channels: even; the prototype Kaiser low-pass spans 2 x channels x semiLength samples.
PolyphaseChannelizer makePolyphaseChannelizer(unsigned channels, unsigned semiLength,
                                              double attenuationDb);

}  // namespace tavimor::dsp
