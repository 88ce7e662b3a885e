// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/power_normaliser.h"

#include <algorithm>
#include <cmath>

namespace tavimor::dsp {

PowerNormaliser::PowerNormaliser(double sampleRate, double seconds)
    : power_(seconds * sampleRate / kStretch) {}

void PowerNormaliser::process(std::span<const std::complex<float>> samples,
                              std::vector<std::complex<float>>& out) {
  for (const std::complex<float> sample : samples) {
    stretch_[filled_++] = sample;
    if (filled_ == kStretch) {
      emit(out);
      filled_ = 0;
    }
  }
}

void PowerNormaliser::emit(std::vector<std::complex<float>>& out) {
  double sum = 0.0;
  for (const std::complex<float> sample : stretch_)
    sum += std::norm(sample);
  // Silence before the signal teaches nothing: the mean starts with the first stretch that has one.
  if (sum > 0.0 || power_.count() > 0) power_.add(sum / kStretch);
  const auto gain = power() > 0.0 ? static_cast<float>(1.0 / std::sqrt(power())) : 1.0F;
  for (const std::complex<float> sample : stretch_)
    out.push_back(sample * gain);
}

}  // namespace tavimor::dsp
