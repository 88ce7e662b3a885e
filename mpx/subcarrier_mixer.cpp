// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/subcarrier_mixer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavimor::mpx {
namespace {

constexpr double kTargetRate = 9'500.0;
// The RDS signal reaches 2.4 kHz either side of its subcarrier.
constexpr double kRdsBandHz = 2'400.0;
// Enough to push programme audio, 20 dB above the subcarrier, well under the noise.
constexpr double kAttenuationDb = 45.0;
// The longest oscillator table; common rates need a few hundred samples at most.
constexpr std::size_t kLongestPeriod = 1U << 16U;

// The table length whose whole number of pilot cycles comes nearest 19 kHz.
std::size_t periodFor(double sampleRate) {
  std::size_t best = 1;
  double bestError = INFINITY;
  for (std::size_t length = 1; length <= kLongestPeriod; ++length) {
    const double cycles = kPilotHz * static_cast<double>(length) / sampleRate;
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

SubcarrierMixer::SubcarrierMixer(double sampleRate)
    : decimation_(static_cast<unsigned>(std::lround(sampleRate / kTargetRate))),
      outputRate_(sampleRate / decimation_),
      period_(periodFor(sampleRate)),
      rdsBlock_(decimation_) {
  const double cycles = std::round(kPilotHz * static_cast<double>(period_) / sampleRate);
  const std::size_t length = period_ + decimation_;
  for (auto* table : {&pilotCos_, &pilotSin_, &subcarrierCos_, &subcarrierSin_})
    table->resize(length);
  for (std::size_t i = 0; i < length; ++i) {
    // Whole cycles over the period keep the phase exact however long the table is read.
    const double phase = 2.0 * std::numbers::pi * cycles * static_cast<double>(i % period_) /
                         static_cast<double>(period_);
    pilotCos_[i] = static_cast<float>(std::cos(phase));
    pilotSin_[i] = static_cast<float>(-std::sin(phase));
    subcarrierCos_[i] = static_cast<float>(std::cos(3.0 * phase));
    subcarrierSin_[i] = static_cast<float>(-std::sin(3.0 * phase));
  }
  std::vector<float> rdsTaps =
      lowPassTaps(kRdsBandHz / sampleRate, (outputRate_ - kRdsBandHz) / sampleRate, kAttenuationDb);
  rdsDelay_ = static_cast<double>(rdsTaps.size() - 1) / 2.0;
  rdsFilter_ = makeDecimator(decimation_, std::move(rdsTaps));
}

void SubcarrierMixer::mix(const float* samples, std::size_t count) {
  const std::size_t at = phaseIndex_ + filled_;
  const float* pilotCos = pilotCos_.data() + at;
  const float* pilotSin = pilotSin_.data() + at;
  const float* subcarrierCos = subcarrierCos_.data() + at;
  const float* subcarrierSin = subcarrierSin_.data() + at;
  std::complex<float>* rds = rdsBlock_.data() + filled_;
  float pilotRe = 0.0F;
  float pilotIm = 0.0F;
  for (std::size_t i = 0; i < count; ++i) {
    const float x = samples[i];
    rds[i] = {x * subcarrierCos[i], x * subcarrierSin[i]};
    pilotRe += x * pilotCos[i];
    pilotIm += x * pilotSin[i];
  }
  pilotSumRe_ += pilotRe;
  pilotSumIm_ += pilotIm;
}

void SubcarrierMixer::process(std::span<const float> samples, std::vector<BasebandSample>& out) {
  std::size_t i = 0;
  while (i < samples.size()) {
    const std::size_t count = std::min<std::size_t>(decimation_ - filled_, samples.size() - i);
    mix(samples.data() + i, count);
    filled_ += count;
    i += count;
    if (filled_ < decimation_) break;
    filled_ = 0;
    phaseIndex_ = (phaseIndex_ + decimation_) % period_;
    BasebandSample sample;
    firdecim_crcf_execute(rdsFilter_.get(), rdsBlock_.data(), &sample.rds);
    sample.pilot = {pilotSumRe_ / static_cast<float>(decimation_),
                    pilotSumIm_ / static_cast<float>(decimation_)};
    pilotSumRe_ = 0.0F;
    pilotSumIm_ = 0.0F;
    out.push_back(sample);
  }
}

}  // namespace tavimor::mpx
