// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/power_normaliser.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tavimor::dsp {

PowerNormaliser::PowerNormaliser(double sampleRate, double seconds)
    : power_(seconds * sampleRate / kStretch) {}

void PowerNormaliser::process(std::span<const std::complex<float>> samples,
                              std::vector<std::complex<float>>& out) {
  while (!samples.empty()) {
    // Whole stretches of the input go out from where they are; the rest waits to be whole.
    if (filled_ == 0 && samples.size() >= kStretch) {
      emit(samples.first(kStretch), out);
      samples = samples.subspan(kStretch);
      continue;
    }
    const std::size_t count = std::min(kStretch - filled_, samples.size());
    std::copy_n(samples.begin(), count, stretch_.begin() + static_cast<std::ptrdiff_t>(filled_));
    filled_ += count;
    samples = samples.subspan(count);
    if (filled_ == kStretch) {
      emit(stretch_, out);
      filled_ = 0;
    }
  }
}

void PowerNormaliser::emit(std::span<const std::complex<float>> stretch,
                           std::vector<std::complex<float>>& out) {
  double sum = 0.0;
  for (const std::complex<float> sample : stretch)
    sum += std::norm(sample);
  // Silence before the signal teaches nothing: the mean starts with the first stretch that has one.
  if (sum > 0.0 || power_.count() > 0) power_.add(sum / kStretch);
  const auto gain = power() > 0.0 ? static_cast<float>(1.0 / std::sqrt(power())) : 1.0F;
  std::ranges::transform(stretch, std::back_inserter(out),
                         [gain](std::complex<float> sample) { return sample * gain; });
}

}  // namespace tavimor::dsp
