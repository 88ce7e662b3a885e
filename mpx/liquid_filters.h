// SPDX-License-Identifier: GPL-3.0-or-later
// liquid-dsp's filters owned as C++ objects, and the low-pass design they start from.
#pragma once

#include <complex>
// <complex> first: liquid-dsp then uses std::complex<float> for its complex type.
#include <liquid/liquid.h>

#include <memory>
#include <vector>

namespace tavimor::mpx {

struct FirDecimDeleter {
  void operator()(firdecim_crcf_s* filter) const { firdecim_crcf_destroy(filter); }
};
using FirDecimator = std::unique_ptr<firdecim_crcf_s, FirDecimDeleter>;

struct FirFilterDeleter {
  void operator()(firfilt_crcf_s* filter) const { firfilt_crcf_destroy(filter); }
};
using FirFilter = std::unique_ptr<firfilt_crcf_s, FirFilterDeleter>;

// Kaiser-windowed low-pass taps with unity gain at 0 Hz; frequencies relative to the sample rate.
std::vector<float> lowPassTaps(double passband, double stopband, double attenuationDb);

FirDecimator makeDecimator(unsigned factor, std::vector<float> taps);
FirFilter makeFilter(std::vector<float> taps);

}  // namespace tavimor::mpx
