// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/fm_receiver.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "dsp/constants.h"
#include "dsp/liquid.h"
#include "dsp/power_normaliser.h"
#include "fm/centre_mixer.h"
#include "fm/channel_filter.h"
#include "fm/cma_equalizer.h"
#include "fm/cnr_meter.h"

namespace tavimor::fm {
namespace {

using dsp::kFullDeviationHz;

// The equalizer spans 125 us (32 taps at 256 kHz) around its main tap, which starts in the
// middle: an echo 20 us late is undone with its repeats up to three times later, and an earlier,
// stronger path alike.
constexpr double kEqualizerSeconds = 125e-6;
// An update every fourth sample with a step of 0.02 converges within 0.1 s; steps from 0.01 to
// 0.04 receive alike.
constexpr float kEqualizerStep = 0.02F;
constexpr std::size_t kEqualizerUpdateEvery = 4;
// In noise the constant-modulus update draws the taps into a low-pass, which quietens the
// envelope but weakens the RDS sidebands: at 12 dB it costs nearly two groups in three. Below
// 18 dB the taps leak back towards the pass-through, fully from 14 dB, where a departure that
// nothing drives decays within a quarter of a second. An echo pulls far harder than the noise and
// keeps its inverse; above 18 dB the drift costs nothing, while an echo whose nulls lie out where
// the RDS sidebands are pulls too weakly to hold against a leak.
constexpr double kLeakBelowCnrDb = 18.0;
constexpr double kFullLeakCnrDb = 14.0;
constexpr double kFullLeakSeconds = 0.25;
// Taps with more than this share of the strongest one's power out of mirror about it are an echo
// being undone: about an echo at a fifth of the direct path.
constexpr float kEqualizingAsymmetry = 0.05F;
// The channel is brought to unit power for the equalizer, which aims at an envelope of 1; its
// level is followed this slowly, much slower than an echo makes the envelope swing, so that the
// equalizer sees the swing.
constexpr double kLevelSeconds = 0.05;

std::string kiloHertz(double hz) {
  std::ostringstream text;
  text << hz / 1e3 << " kHz";
  return text.str();
}

double checkedRate(double iqRate) {
  if (!(iqRate >= kMinIqRate && iqRate <= kMaxIqRate))
    throw std::invalid_argument("the I/Q sample rate must be from " + kiloHertz(kMinIqRate) +
                                " to " + kiloHertz(kMaxIqRate));
  return iqRate;
}

double checkedOffset(double offsetHz, double iqRate) {
  if (!(std::abs(offsetHz) + kChannelHz <= iqRate / 2.0))
    throw std::invalid_argument("a station " + kiloHertz(offsetHz) +
                                " from the centre does not fit in an I/Q band of " +
                                kiloHertz(iqRate) + ": its channel reaches " +
                                kiloHertz(kChannelHz) + " either side of it");
  return offsetHz;
}

double checkedChannelRate(double channelRate) {
  if (!(channelRate >= kMinChannelRate && channelRate <= kMaxIqRate))
    throw std::invalid_argument("a channel's rate must be from " + kiloHertz(kMinChannelRate) +
                                " to " + kiloHertz(kMaxIqRate));
  return channelRate;
}

// The mixer and the filter that cut the station's channel out of the band.
struct ChannelCut {
  ChannelCut(double iqRate, double offsetHz, unsigned decimation, double channelRate)
      : mixer(iqRate, offsetHz),
        filter(iqRate, decimation, kChannelHz, channelRate - kChannelHz, kChannelAttenuationDb) {}

  CentreMixer mixer;
  ChannelFilter filter;
  std::vector<std::complex<float>> mixed;
};

}  // namespace

unsigned channelDecimation(double iqRate) {
  return std::max(1U, static_cast<unsigned>(iqRate / kMinChannelRate));
}

struct FmReceiver::Impl {
  Impl(double iqRate, double offsetHz);
  // A channel given cut already.
  explicit Impl(double channelRate);

  float leakShare() const;

  unsigned decimation;
  double channelRate;
  // None for a channel given cut already.
  std::optional<ChannelCut> cut;
  dsp::PowerNormaliser normaliser;
  CnrMeter cnrMeter;
  CmaEqualizer equalizer;
  dsp::FreqDemodulator demodulator;
  std::vector<std::complex<float>> channel;
  std::vector<std::complex<float>> normalised;
};

FmReceiver::Impl::Impl(double iqRate, double offsetHz)
    : Impl(checkedRate(iqRate) / channelDecimation(iqRate)) {
  decimation = channelDecimation(iqRate);
  cut.emplace(iqRate, checkedOffset(offsetHz, iqRate), decimation, channelRate);
}

FmReceiver::Impl::Impl(double channelRate)
    : decimation(1),
      channelRate(checkedChannelRate(channelRate)),
      normaliser(channelRate, kLevelSeconds),
      cnrMeter(channelRate, kFullDeviationHz),
      equalizer(static_cast<std::size_t>(std::lround(kEqualizerSeconds * channelRate)),
                static_cast<std::size_t>(std::lround(kEqualizerSeconds * channelRate / 2.0)),
                kEqualizerStep, kEqualizerUpdateEvery),
      demodulator(dsp::makeFreqDemodulator(kFullDeviationHz, channelRate)) {}

float FmReceiver::Impl::leakShare() const {
  const double depth = std::clamp(
      (kLeakBelowCnrDb - cnrMeter.cnrDb()) / (kLeakBelowCnrDb - kFullLeakCnrDb), 0.0, 1.0);
  return static_cast<float>(depth * kEqualizerUpdateEvery / (kFullLeakSeconds * channelRate));
}

FmReceiver::FmReceiver(double iqRate, double offsetHz)
    : impl_(std::make_unique<Impl>(iqRate, offsetHz)) {}
FmReceiver::FmReceiver(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FmReceiver FmReceiver::forChannel(double channelRate) {
  return FmReceiver(std::make_unique<Impl>(channelRate));
}
FmReceiver::~FmReceiver() = default;
FmReceiver::FmReceiver(FmReceiver&& other) noexcept = default;
FmReceiver& FmReceiver::operator=(FmReceiver&& other) noexcept = default;

double FmReceiver::multiplexRate() const {
  return impl_->channelRate;
}

void FmReceiver::process(std::span<const std::complex<float>> iq, std::vector<float>& multiplex) {
  Impl& d = *impl_;
  std::span<const std::complex<float>> channel = iq;
  if (d.cut) {
    d.cut->mixer.process(iq, d.cut->mixed);
    d.channel.clear();
    d.cut->filter.process(d.cut->mixed, d.channel);
    channel = d.channel;
  }
  d.normalised.clear();
  d.normaliser.process(channel, d.normalised);
  if (d.normalised.empty()) return;
  // The leak follows the CNR from the sample after the one it was measured at, whatever the
  // writes.
  std::span<std::complex<float>> rest(d.normalised);
  while (!rest.empty()) {
    const std::span<std::complex<float>> part =
        rest.first(std::min(rest.size(), d.cnrMeter.untilMeasured()));
    d.equalizer.setLeak(d.leakShare());
    d.cnrMeter.process(part);
    d.equalizer.process(part);
    rest = rest.subspan(part.size());
  }
  const std::size_t start = multiplex.size();
  multiplex.resize(start + d.normalised.size());
  freqdem_demodulate_block(d.demodulator.get(), d.normalised.data(),
                           static_cast<unsigned>(d.normalised.size()), multiplex.data() + start);
}

double FmReceiver::delay() const {
  const Impl& d = *impl_;
  // A channel sample is made when the last of its `decimation` inputs arrives; the discriminator
  // takes the angle between two samples, half a sample back.
  const double cutDelay =
      d.cut ? (d.cut->filter.delay() - (d.decimation - 1.0)) / d.decimation : 0.0;
  return cutDelay + static_cast<double>(d.equalizer.delay()) + 0.5;
}

CarrierStatus FmReceiver::status() const {
  const Impl& d = *impl_;
  const double power = d.normaliser.power();
  return {.levelDbfs = power > 0.0 ? 10.0 * std::log10(power) : CarrierStatus{}.levelDbfs,
          .equalizing = d.equalizer.asymmetry() > kEqualizingAsymmetry};
}

}  // namespace tavimor::fm
