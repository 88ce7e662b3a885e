// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/centre_mixer.h"

#include <algorithm>
#include <cmath>

namespace tavimor::fm {
namespace {

constexpr std::size_t kLongestMix = 1'024;

}  // namespace

CentreMixer::CentreMixer(double sampleRate, double offsetHz) {
  if (std::abs(offsetHz) >= kDcGuardHz) dcRemover_.emplace(sampleRate, kDcSeconds);
  if (offsetHz != 0.0) oscillator_.emplace(offsetHz, sampleRate, kLongestMix);
}

void CentreMixer::process(std::span<const std::complex<float>> in,
                          std::vector<std::complex<float>>& out) {
  out.resize(in.size());
  std::transform(in.begin(), in.end(), out.begin(),
                 [](std::complex<float> sample) { return withinRange(sample); });
  if (dcRemover_) dcRemover_->process(out);
  if (oscillator_) oscillator_->mixDown(out);
}

}  // namespace tavimor::fm
