// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/oscillator.h"

#include <algorithm>
#include <cmath>

#include "dsp/constants.h"

namespace tavimor::dsp {
namespace {

constexpr std::size_t kLongestPeriod = 1U << 16U;

// The table length whose whole number of cycles comes nearest the frequency.
std::size_t periodFor(double cyclesPerSample) {
  std::size_t best = 1;
  double bestError = INFINITY;
  for (std::size_t length = 1; length <= kLongestPeriod; ++length) {
    const double cycles = cyclesPerSample * static_cast<double>(length);
    const double error = std::fabs(cycles - std::round(cycles)) / static_cast<double>(length);
    if (error < bestError - 1e-15) {
      best = length;
      bestError = error;
      if (error < 1e-12) break;
    }
  }
  return best;
}

}  // namespace

Oscillator::Oscillator(double frequencyHz, double sampleRate, std::size_t longestRead,
                       unsigned harmonics)
    : sampleRate_(sampleRate),
      longestRead_(longestRead),
      period_(periodFor(frequencyHz / sampleRate)),
      cycles_(std::round(frequencyHz / sampleRate * static_cast<double>(period_))),
      cos_(harmonics),
      sin_(harmonics) {
  const std::size_t length = period_ + longestRead;
  for (unsigned h = 1; h <= harmonics; ++h) {
    cos_[h - 1].resize(length);
    sin_[h - 1].resize(length);
    for (std::size_t i = 0; i < length; ++i) {
      const double phase =
          kTwoPi * cycles_ * static_cast<double>(i % period_) / static_cast<double>(period_);
      cos_[h - 1][i] = static_cast<float>(std::cos(h * phase));
      sin_[h - 1][i] = static_cast<float>(-std::sin(h * phase));
    }
  }
}

double Oscillator::frequencyHz() const {
  return cycles_ * sampleRate_ / static_cast<double>(period_);
}

void Oscillator::mixDown(std::span<std::complex<float>> samples) {
  for (std::size_t first = 0; first < samples.size(); first += longestRead_) {
    const std::size_t count = std::min(longestRead_, samples.size() - first);
    const float* re = cos();
    const float* im = minusSin();
    std::complex<float>* block = samples.data() + first;
    for (std::size_t k = 0; k < count; ++k) {
      // The products written out: std::complex's own check for infinities at every one.
      const float x = block[k].real();
      const float y = block[k].imag();
      block[k] = {x * re[k] - y * im[k], x * im[k] + y * re[k]};
    }
    advance(count);
  }
}

}  // namespace tavimor::dsp
