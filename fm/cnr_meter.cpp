// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/cnr_meter.h"

#include <cmath>
#include <limits>

#include "dsp/kernels.h"

namespace tavimor::fm {
namespace {

constexpr double kBandLowHz = 60'000.0;
constexpr double kBandHighHz = 75'000.0;
constexpr double kTransitionHz = 4'000.0;
constexpr double kAttenuationDb = 40.0;
// CNRs are quoted for the noise in 200 kHz.
constexpr double kCnrBandwidthHz = 200'000.0;
// A carrier that the programme swings far out has part of this noise beyond the channel's edge at
// 100 kHz: with stereo programme the band holds about 1.2 dB less than it would at rest.
constexpr double kBeyondTheChannelDb = 1.2;
// A stretch of 8 ms is discriminated every 32 ms: the discriminator is nearly half of the
// receiver's work, and the noise changes slowly. The measure follows the last four stretches.
constexpr double kStretchSeconds = 0.008;
constexpr double kPeriodSeconds = 0.032;
constexpr double kSettledStretches = 4.0;
// Noise in a band 15 kHz wide changes over about 0.07 ms: every fourth output is enough.
constexpr std::size_t kStride = 4;

// A band-pass over 60 to 75 kHz, padded to whole lanes.
std::vector<float> bandTaps(double sampleRate) {
  std::vector<float> taps = dsp::bandPassTaps(kBandLowHz / sampleRate, kBandHighHz / sampleRate,
                                              kTransitionHz / sampleRate, kAttenuationDb);
  taps.resize(dsp::paddedLength(taps.size()), 0.0F);
  return taps;
}

}  // namespace

// The discriminator's noise, in Hz, has a density of f^2 N0 / (2 C) either side of the carrier;
// over the band that is (high^3 - low^3) / 3 x N0 / C, and N0 / C is 1 / (CNR x 200 kHz).
CnrMeter::CnrMeter(double sampleRate, double deviationHz)
    : demodulator_(dsp::makeFreqDemodulator(deviationHz, sampleRate)),
      noiseAtUnitCnr_((std::pow(kBandHighHz, 3) - std::pow(kBandLowHz, 3)) / 3.0 / kCnrBandwidthHz /
                      (deviationHz * deviationHz)),
      taps_(bandTaps(sampleRate)),
      stretch_(static_cast<std::size_t>(kStretchSeconds * sampleRate)),
      period_(static_cast<std::size_t>(kPeriodSeconds * sampleRate)),
      noise_(kSettledStretches) {}

void CnrMeter::process(std::span<const std::complex<float>> channel) {
  for (const std::complex<float> sample : channel) {
    if (sinceStretch_ < stretch_) held_.push_back(sample);
    if (++sinceStretch_ == stretch_) measureStretch();
    if (sinceStretch_ == period_) sinceStretch_ = 0;
  }
}

std::size_t CnrMeter::untilMeasured() const {
  return sinceStretch_ < stretch_ ? stretch_ - sinceStretch_ : period_ - sinceStretch_ + stretch_;
}

void CnrMeter::measureStretch() {
  frequency_.resize(held_.size());
  // Its first output is against the end of the previous stretch, long gone: skipped below.
  freqdem_demodulate_block(demodulator_.get(), held_.data(), static_cast<unsigned>(held_.size()),
                           frequency_.data());
  held_.clear();
  double sum = 0.0;
  std::size_t count = 0;
  for (std::size_t n = 1; n + taps_.size() <= frequency_.size(); n += kStride) {
    const float noise = dsp::dotProduct(taps_.data(), frequency_.data() + n, taps_.size());
    sum += static_cast<double>(noise) * noise;
    ++count;
  }
  if (count == 0) return;
  noise_.add(sum / static_cast<double>(count));
}

double CnrMeter::cnrDb() const {
  if (noise_.value() <= 0.0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(noiseAtUnitCnr_ / noise_.value()) - kBeyondTheChannelDb;
}

}  // namespace tavimor::fm
