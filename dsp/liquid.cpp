// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/liquid.h"

#include <cmath>
#include <numeric>
#include <stdexcept>

#include "dsp/constants.h"

namespace tavimor::dsp {
namespace {

template <typename Owned, typename Made>
Owned checked(Made* made, const char* what) {
  if (made == nullptr) throw std::runtime_error(std::string("liquid-dsp could not make ") + what);
  return Owned(made);
}

}  // namespace

std::vector<float> lowPassTaps(double passband, double stopband, double attenuationDb) {
  const auto transition = static_cast<float>(stopband - passband);
  const auto attenuation = static_cast<float>(attenuationDb);
  unsigned length = estimate_req_filter_len(transition, attenuation);
  length |= 1U;
  std::vector<float> taps(length);
  liquid_firdes_kaiser(length, static_cast<float>((passband + stopband) / 2.0), attenuation, 0.0F,
                       taps.data());
  const float gain = std::accumulate(taps.begin(), taps.end(), 0.0F);
  for (float& tap : taps)
    tap /= gain;
  return taps;
}

std::vector<float> bandPassTaps(double low, double high, double transition, double attenuationDb) {
  const double halfWidth = (high - low) / 2.0;
  std::vector<float> taps =
      lowPassTaps(halfWidth - transition / 2.0, halfWidth + transition / 2.0, attenuationDb);
  const double centre = (high + low) / 2.0;
  const double middle = static_cast<double>(taps.size() - 1) / 2.0;
  for (std::size_t k = 0; k < taps.size(); ++k)
    taps[k] *=
        static_cast<float>(2.0 * std::cos(kTwoPi * centre * (static_cast<double>(k) - middle)));
  return taps;
}

FirDecimator makeDecimator(unsigned factor, std::vector<float> taps) {
  return checked<FirDecimator>(
      firdecim_crcf_create(factor, taps.data(), static_cast<unsigned>(taps.size())), "a decimator");
}

FirFilter makeFilter(std::vector<float> taps) {
  return checked<FirFilter>(firfilt_crcf_create(taps.data(), static_cast<unsigned>(taps.size())),
                            "a filter");
}

FreqDemodulator makeFreqDemodulator(double deviationHz, double sampleRate) {
  return checked<FreqDemodulator>(freqdem_create(static_cast<float>(deviationHz / sampleRate)),
                                  "an FM demodulator");
}

Periodogram makePeriodogram(unsigned size) {
  return checked<Periodogram>(spgramcf_create(size, LIQUID_WINDOW_HANN, size, size),
                              "a periodogram");
}

PolyphaseChannelizer makePolyphaseChannelizer(unsigned channels, unsigned semiLength,
                                              double attenuationDb) {
  return checked<PolyphaseChannelizer>(
      firpfbch2_crcf_create_kaiser(LIQUID_ANALYZER, channels, semiLength,
                                   static_cast<float>(attenuationDb)),
      "a polyphase channelizer");
}

}  // namespace tavimor::dsp
