// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/subcarrier_mixer.h"

#include <cmath>
#include <numbers>

namespace tavimor::mpx {
namespace {

constexpr double kTargetRate = 9'500.0;
// The RDS signal reaches 2.4 kHz either side of its subcarrier.
constexpr double kRdsBandHz = 2'400.0;
// Enough to push programme audio, 20 dB above the subcarrier, well under the noise.
constexpr double kAttenuationDb = 55.0;
constexpr double kPilotBandHz = 100.0;

std::vector<std::complex<float>> turns(double hz, double rate, std::size_t count) {
  std::vector<std::complex<float>> phasors(count);
  for (std::size_t i = 0; i < count; ++i)
    phasors[i] = std::polar(
        1.0F, static_cast<float>(-2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
  return phasors;
}

// Complex products written out: the library's operator* guards against infinities at a cost.
inline std::complex<double> times(std::complex<double> x, std::complex<double> y) {
  return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()};
}

}  // namespace

SubcarrierMixer::SubcarrierMixer(double sampleRate)
    : decimation_(static_cast<unsigned>(std::lround(sampleRate / kTargetRate))),
      outputRate_(sampleRate / decimation_),
      pilotTurns_(turns(kPilotHz, sampleRate, decimation_)),
      subcarrierTurns_(turns(kSubcarrierHz, sampleRate, decimation_)),
      pilotStep_(std::polar(1.0, -2.0 * std::numbers::pi * kPilotHz * decimation_ / sampleRate)),
      subcarrierStep_(
          std::polar(1.0, -2.0 * std::numbers::pi * kSubcarrierHz * decimation_ / sampleRate)),
      rdsBlock_(decimation_),
      pilotBlock_(decimation_) {
  std::vector<float> rdsTaps =
      lowPassTaps(kRdsBandHz / sampleRate, (outputRate_ - kRdsBandHz) / sampleRate, kAttenuationDb);
  std::vector<float> pilotTaps = lowPassTaps(
      kPilotBandHz / sampleRate, (outputRate_ - kPilotBandHz) / sampleRate, kAttenuationDb);
  rdsDelay_ = static_cast<double>(rdsTaps.size() - 1) / 2.0;
  pilotDelay_ = static_cast<double>(pilotTaps.size() - 1) / 2.0;
  rdsFilter_ = makeDecimator(decimation_, std::move(rdsTaps));
  pilotFilter_ = makeDecimator(decimation_, std::move(pilotTaps));
}

void SubcarrierMixer::process(std::span<const float> samples, std::vector<BasebandSample>& out) {
  std::size_t i = 0;
  while (i < samples.size()) {
    const auto start19 = static_cast<std::complex<float>>(pilotStart_);
    const auto start57 = static_cast<std::complex<float>>(subcarrierStart_);
    for (; filled_ < decimation_ && i < samples.size(); ++filled_, ++i) {
      const std::complex<float> p = pilotTurns_[filled_];
      const std::complex<float> s = subcarrierTurns_[filled_];
      const float x = samples[i];
      pilotBlock_[filled_] = {x * (start19.real() * p.real() - start19.imag() * p.imag()),
                              x * (start19.real() * p.imag() + start19.imag() * p.real())};
      rdsBlock_[filled_] = {x * (start57.real() * s.real() - start57.imag() * s.imag()),
                            x * (start57.real() * s.imag() + start57.imag() * s.real())};
    }
    if (filled_ < decimation_) break;
    filled_ = 0;
    BasebandSample sample;
    firdecim_crcf_execute(rdsFilter_.get(), rdsBlock_.data(), &sample.rds);
    firdecim_crcf_execute(pilotFilter_.get(), pilotBlock_.data(), &sample.pilot);
    out.push_back(sample);
    pilotStart_ = times(pilotStart_, pilotStep_);
    subcarrierStart_ = times(subcarrierStart_, subcarrierStep_);
    pilotStart_ /= std::abs(pilotStart_);
    subcarrierStart_ /= std::abs(subcarrierStart_);
  }
}

}  // namespace tavimor::mpx
