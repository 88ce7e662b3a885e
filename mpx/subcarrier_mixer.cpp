// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/subcarrier_mixer.h"

#include <algorithm>

#include "dsp/constants.h"

namespace tavimor::mpx {
namespace {

constexpr double kTargetRate = 9'500.0;
// The RDS signal reaches 2.4 kHz either side of its subcarrier.
constexpr double kRdsBandHz = 2'400.0;
// Enough to push programme audio, 20 dB above the subcarrier, well under the noise.
constexpr double kAttenuationDb = 45.0;
}  // namespace

SubcarrierMixer::SubcarrierMixer(double sampleRate)
    : decimation_(static_cast<unsigned>(std::lround(sampleRate / kTargetRate))),
      outputRate_(sampleRate / decimation_),
      pilot_(dsp::kPilotHz, sampleRate, decimation_, kSubcarrierHarmonic),
      rdsBlock_(decimation_) {
  std::vector<float> rdsTaps = dsp::lowPassTaps(
      kRdsBandHz / sampleRate, (outputRate_ - kRdsBandHz) / sampleRate, kAttenuationDb);
  rdsDelay_ = static_cast<double>(rdsTaps.size() - 1) / 2.0;
  rdsFilter_ = dsp::makeDecimator(decimation_, std::move(rdsTaps));
}

void SubcarrierMixer::mix(const float* samples, std::size_t count) {
  const float* pilotCos = pilot_.cos();
  const float* pilotSin = pilot_.minusSin();
  const float* subcarrierCos = pilot_.cos(kSubcarrierHarmonic);
  const float* subcarrierSin = pilot_.minusSin(kSubcarrierHarmonic);
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
  pilot_.advance(count);
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
