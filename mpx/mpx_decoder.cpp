// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/mpx_decoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "mpx/biphase_demodulator.h"
#include "mpx/block_sync.h"
#include "mpx/pilot_tracker.h"
#include "mpx/subcarrier_mixer.h"

namespace tavimor::mpx {

bool DecodedGroup::complete() const {
  return std::ranges::all_of(
      blocks, [](const std::optional<std::uint16_t>& block) { return block.has_value(); });
}

RdsGroup DecodedGroup::group() const {
  return {blocks[0].value_or(0), blocks[1].value_or(0), blocks[2].value_or(0),
          blocks[3].value_or(0)};
}

namespace {

double checkedRate(double sampleRate) {
  if (!(sampleRate >= kMinSampleRate) || !std::isfinite(sampleRate))
    throw std::invalid_argument("the sample rate must be at least 128 kHz");
  return sampleRate;
}

constexpr SoftLimits kLimits{};

}  // namespace

struct MpxDecoder::Impl {
  explicit Impl(double sampleRate)
      : mixer(checkedRate(sampleRate)),
        pilot(mixer.outputRate(), (mixer.pilotDelay() - mixer.rdsDelay()) / mixer.decimation()),
        demodulator(mixer.outputRate()),
        sync(kLimits) {}

  // The input sample at which a symbol centred at this baseband sample ended.
  std::uint64_t endOf(double centre) const {
    const double decimation = mixer.decimation();
    const double input = centre * decimation + (decimation - 1.0) - mixer.rdsDelay() +
                         0.75 * decimation * mixer.outputRate() / kSymbolRate;
    return input > 0.0 ? static_cast<std::uint64_t>(std::llround(input)) : 0;
  }

  SubcarrierMixer mixer;
  PilotTracker pilot;
  BiphaseDemodulator demodulator;
  BlockSync sync;
  std::vector<BasebandSample> baseband;
  std::vector<ChannelSymbol> symbols;
};

MpxDecoder::MpxDecoder(double sampleRate) : impl_(std::make_unique<Impl>(sampleRate)) {}
MpxDecoder::~MpxDecoder() = default;
MpxDecoder::MpxDecoder(MpxDecoder&& other) noexcept = default;
MpxDecoder& MpxDecoder::operator=(MpxDecoder&& other) noexcept = default;

void MpxDecoder::process(std::span<const float> samples, const GroupHandler& onGroup) {
  Impl& d = *impl_;
  d.baseband.clear();
  d.mixer.process(samples, d.baseband);
  for (const BasebandSample& sample : d.baseband) {
    d.pilot.push(sample.pilot, sample.rds);
    d.symbols.clear();
    d.demodulator.push(sample.rds, d.pilot.present(), d.pilot.phase(), d.symbols);
    for (const ChannelSymbol& symbol : d.symbols)
      d.sync.push(symbol.soft, symbol.expected, d.endOf(symbol.centre), onGroup);
  }
}

const DecoderCounts& MpxDecoder::counts() const {
  return impl_->sync.counts();
}

}  // namespace tavimor::mpx
