// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/liquid_filters.h"

#include <numeric>
#include <stdexcept>

namespace tavimor::mpx {

std::vector<float> lowPassTaps(double passband, double stopband, double attenuationDb) {
  const auto transition = static_cast<float>(stopband - passband);
  const auto attenuation = static_cast<float>(attenuationDb);
  unsigned length = estimate_req_filter_len(transition, attenuation);
  length |= 1U;  // odd: the delay is a whole number of samples
  std::vector<float> taps(length);
  liquid_firdes_kaiser(length, static_cast<float>((passband + stopband) / 2.0), attenuation, 0.0F,
                       taps.data());
  const float gain = std::accumulate(taps.begin(), taps.end(), 0.0F);
  for (float& tap : taps)
    tap /= gain;
  return taps;
}

FirDecimator makeDecimator(unsigned factor, std::vector<float> taps) {
  FirDecimator filter(
      firdecim_crcf_create(factor, taps.data(), static_cast<unsigned>(taps.size())));
  if (!filter) throw std::runtime_error("liquid-dsp could not make a decimator");
  return filter;
}

FirFilter makeFilter(std::vector<float> taps) {
  FirFilter filter(firfilt_crcf_create(taps.data(), static_cast<unsigned>(taps.size())));
  if (!filter) throw std::runtime_error("liquid-dsp could not make a filter");
  return filter;
}

}  // namespace tavimor::mpx
