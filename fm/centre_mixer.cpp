// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/centre_mixer.h"

#include <algorithm>
#include <cmath>

namespace tavimor::fm {
namespace {

constexpr double kDcGuardHz = 1'000.0;
// The stick's DC moves slowly.
constexpr double kDcSeconds = 0.1;
constexpr std::size_t kLongestMix = 1'024;
// Samples run from -1 to 1. A NaN or an infinity from a damaged file would stay in the filters and
// the equalizer for good: it becomes 0, and anything far out of range is held at this.
constexpr float kLargest = 4.0F;

float withinRange(float value) {
  if (value >= -kLargest && value <= kLargest) return value;
  if (value > kLargest) return kLargest;
  return value < -kLargest ? -kLargest : 0.0F;
}

}  // namespace

CentreMixer::CentreMixer(double sampleRate, double offsetHz) {
  if (std::abs(offsetHz) >= kDcGuardHz) dcRemover_.emplace(sampleRate, kDcSeconds);
  if (offsetHz != 0.0) oscillator_.emplace(offsetHz, sampleRate, kLongestMix);
}

void CentreMixer::process(std::span<const std::complex<float>> in,
                          std::vector<std::complex<float>>& out) {
  out.resize(in.size());
  std::transform(in.begin(), in.end(), out.begin(), [](std::complex<float> sample) {
    return std::complex<float>(withinRange(sample.real()), withinRange(sample.imag()));
  });
  if (dcRemover_) dcRemover_->process(out);
  if (oscillator_) oscillator_->mixDown(out);
}

}  // namespace tavimor::fm
