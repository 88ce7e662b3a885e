// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/centre_mixer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tavimor::fm {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The DC is taken out unless the carrier lies this near it: an unmodulated carrier is a line at
// its frequency, and taking out the DC would take the carrier out with it.
constexpr double kDcGuardHz = 1'000.0;
// The stick's DC moves slowly.
constexpr double kDcSeconds = 0.1;
constexpr std::size_t kTurnsTable = 1'024;
// Samples run from -1 to 1. A NaN or an infinity from a damaged file would stay in the filters and
// the equalizer for good: it becomes 0, and anything far out of range is held at this.
constexpr float kLargest = 4.0F;

float sane(float value) {
  if (value >= -kLargest && value <= kLargest) return value;
  if (value > kLargest) return kLargest;
  return value < -kLargest ? -kLargest : 0.0F;
}

// Over several running sums: one alone would make each addition wait for the one before.
std::complex<float> sumOf(std::span<const std::complex<float>> samples) {
  constexpr std::size_t kSums = 8;
  std::array<float, kSums> sums{};
  // std::complex<float> is laid out as two floats, real first.
  const auto* values = reinterpret_cast<const float*>(samples.data());
  const std::size_t whole = 2 * samples.size() / kSums * kSums;
  for (std::size_t i = 0; i < whole; i += kSums)
    for (std::size_t k = 0; k < kSums; ++k)
      sums[k] += values[i + k];
  std::complex<float> sum((sums[0] + sums[2]) + (sums[4] + sums[6]),
                          (sums[1] + sums[3]) + (sums[5] + sums[7]));
  for (std::size_t n = whole / 2; n < samples.size(); ++n)
    sum += samples[n];
  return sum;
}

}  // namespace

CentreMixer::CentreMixer(double sampleRate, double offsetHz)
    : removeDc_(std::abs(offsetHz) >= kDcGuardHz),
      dcSmoothing_(static_cast<float>(1.0 / (kDcSeconds * sampleRate))),
      radiansPerSample_(-kTwoPi * offsetHz / sampleRate),
      turns_(offsetHz == 0.0 ? 0 : kTurnsTable) {
  for (std::size_t k = 0; k < turns_.size(); ++k)
    turns_[k] = std::polar(1.0F, static_cast<float>(radiansPerSample_ * static_cast<double>(k)));
}

void CentreMixer::process(std::span<const std::complex<float>> in,
                          std::vector<std::complex<float>>& out) {
  out.resize(in.size());
  std::transform(in.begin(), in.end(), out.begin(), [](std::complex<float> sample) {
    return std::complex<float>(sane(sample.real()), sane(sample.imag()));
  });
  if (out.empty()) return;
  if (removeDc_) takeOutDc(out);
  if (!turns_.empty()) turnToCentre(out);
}

// Follows the blocks' means, from the first block's.
void CentreMixer::takeOutDc(std::vector<std::complex<float>>& samples) {
  const auto count = static_cast<float>(samples.size());
  const float weight = dcFound_ ? std::min(1.0F, count * dcSmoothing_) : 1.0F;
  dc_ += weight * (sumOf(samples) / count - dc_);
  dcFound_ = true;
  for (std::complex<float>& sample : samples)
    sample -= dc_;
}

// By the table of turns, so that no sample waits for the one before it.
void CentreMixer::turnToCentre(std::vector<std::complex<float>>& samples) {
  for (std::size_t first = 0; first < samples.size(); first += turns_.size()) {
    const std::size_t count = std::min(turns_.size(), samples.size() - first);
    for (std::size_t k = 0; k < count; ++k) {
      // The products written out: std::complex's own check for infinities at every one.
      const std::complex<float> turn = turns_[k];
      const float re = oscillator_.real() * turn.real() - oscillator_.imag() * turn.imag();
      const float im = oscillator_.real() * turn.imag() + oscillator_.imag() * turn.real();
      const std::complex<float> sample = samples[first + k];
      samples[first + k] = {sample.real() * re - sample.imag() * im,
                            sample.real() * im + sample.imag() * re};
    }
    phase_ = std::fmod(phase_ + static_cast<double>(count) * radiansPerSample_, kTwoPi);
    oscillator_ = std::polar(1.0F, static_cast<float>(phase_));
  }
}

}  // namespace tavimor::fm
