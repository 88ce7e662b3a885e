// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/mpx_decoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "dsp/constants.h"
#include "mpx/biphase_demodulator.h"
#include "mpx/block_sync.h"
#include "mpx/echo_canceller.h"
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

// The leading carrier loop's symbols stand this clear of the quadrature when there is a carrier:
// noise alone stays below it.
constexpr double kLeastCarrierClarity = 0.2;
// Nor is there one while the symbols' level says they are lost in noise (a silence, a fade).
constexpr double kLeastSnrDb = -15.0;
// The generator's peak level of random symbols, over the amplitude of a clean symbol out of the
// matched filter (half the subcarrier's, by mixing down, times the pulse's peak).
constexpr double kPeakPerAmplitude = 2.0 * 1.12;
// The noise in 57 kHz +- 2.4 kHz against the noise on a symbol: the band over the symbol rate.
constexpr double kBandPerSymbolDb = 6.07;
// rtl_fm writes a carrier's phase step of pi radians as half of full scale. The pilot is 9 % of the
// 75 kHz deviation; through an echo its level reads up to a third off, so only a pilot that says
// another scale by more than that does not come from rtl_fm.
constexpr double kRtlFmRadiansPerUnit = dsp::kTwoPi;
constexpr double kPilotDeviationHz = 0.09 * dsp::kFullDeviationHz;
constexpr double kPilotTolerance = 1.6;

void count(DecoderCounts& counts, const DecodedGroup& group) {
  const auto good = static_cast<std::uint64_t>(std::ranges::count_if(
      group.blocks, [](const std::optional<std::uint16_t>& block) { return block.has_value(); }));
  ++counts.groups;
  if (good == group.blocks.size()) ++counts.completeGroups;
  counts.blocks += good;
  counts.lostBlocks += group.blocks.size() - good;
}

// Everything locked to one station: the echo it comes with, its pilot, carrier, clock and blocks;
// made afresh for a retune.
struct StationLock {
  StationLock(double sampleRate, Echoes echoes)
      : sampleRate(sampleRate),
        canceller(echoes == Echoes::Undo ? std::optional<EchoCanceller>(sampleRate) : std::nullopt),
        mixer(sampleRate),
        pilot(mixer.outputRate(), (mixer.pilotDelay() - mixer.rdsDelay()) / mixer.decimation()),
        demodulator(mixer.outputRate()),
        sync(kLimits) {}

  // The carrier's phase step for a multiplex sample of 1, as the echo canceller needs it.
  double radiansPerUnit() const {
    if (!pilot.present()) return kRtlFmRadiansPerUnit;
    const double fromPilot = dsp::kTwoPi * kPilotDeviationHz / (sampleRate * pilot.level());
    const double apart = std::fabs(std::log(fromPilot / kRtlFmRadiansPerUnit));
    return apart < std::log(kPilotTolerance) ? kRtlFmRadiansPerUnit : fromPilot;
  }

  double sampleRate;
  // None where the echo was undone before the multiplex was made.
  std::optional<EchoCanceller> canceller;
  SubcarrierMixer mixer;
  PilotTracker pilot;
  BiphaseDemodulator demodulator;
  BlockSync sync;
};

}  // namespace

struct MpxDecoder::Impl {
  Impl(double sampleRate, Echoes echoes)
      : sampleRate(checkedRate(sampleRate)),
        echoes(echoes),
        station(std::make_unique<StationLock>(sampleRate, echoes)) {}

  // The input sample at which a symbol centred at this baseband sample ended.
  std::uint64_t endOf(double centre) const {
    const double decimation = station->mixer.decimation();
    const double input = centre * decimation + (decimation - 1.0) - station->mixer.rdsDelay() +
                         0.75 * decimation * station->mixer.outputRate() / dsp::kSymbolRate;
    return stationStart + (input > 0.0 ? static_cast<std::uint64_t>(std::llround(input)) : 0);
  }

  // Symbols that end well after `last` came only from the zeros that flushed the filters.
  void decode(std::span<const float> samples, const GroupHandler& onGroup, double last = INFINITY) {
    if (station->canceller) {
      undone.clear();
      station->canceller->setRadiansPerUnit(station->radiansPerUnit());
      station->canceller->process(samples, undone);
      samples = undone;
    }
    baseband.clear();
    station->mixer.process(samples, baseband);
    const GroupHandler counted = [&](const DecodedGroup& group) {
      count(counts, group);
      onGroup(group);
    };
    for (const BasebandSample& sample : baseband) {
      station->pilot.push(sample.pilot, sample.rds);
      symbols.clear();
      station->demodulator.push(sample.rds, station->pilot, symbols);
      for (const ChannelSymbol& symbol : symbols) {
        const std::uint64_t end = endOf(symbol.centre);
        if (static_cast<double>(end) <= last)
          station->sync.push(symbol.soft, symbol.cleanReliability, end, counted);
      }
    }
  }

  double sampleRate;
  Echoes echoes;
  std::unique_ptr<StationLock> station;
  std::uint64_t stationStart = 0;
  std::uint64_t samplesSeen = 0;
  DecoderCounts counts;
  std::vector<float> undone;
  std::vector<BasebandSample> baseband;
  std::vector<ChannelSymbol> symbols;
};

MpxDecoder::MpxDecoder(double sampleRate, Echoes echoes)
    : impl_(std::make_unique<Impl>(sampleRate, echoes)) {}
MpxDecoder::~MpxDecoder() = default;
MpxDecoder::MpxDecoder(MpxDecoder&& other) noexcept = default;
MpxDecoder& MpxDecoder::operator=(MpxDecoder&& other) noexcept = default;

void MpxDecoder::process(std::span<const float> samples, const GroupHandler& onGroup) {
  impl_->samplesSeen += samples.size();
  impl_->decode(samples, onGroup);
}

void MpxDecoder::finish(const GroupHandler& onGroup) {
  Impl& d = *impl_;
  const StationLock& station = *d.station;
  // Enough silence to bring every symbol that ended within the input out of the filters.
  const double samplesPerSymbol = station.mixer.outputRate() / dsp::kSymbolRate;
  const auto flush = static_cast<std::size_t>(
      station.mixer.rdsDelay() +
      station.mixer.decimation() * (station.demodulator.delay() + samplesPerSymbol + 4.0));
  const std::vector<float> silence(flush, 0.0F);
  // A symbol's end is known to a fraction of a symbol: half of one past the input is still in it.
  const double halfSymbol = 0.5 * station.mixer.decimation() * samplesPerSymbol;
  d.decode(silence, onGroup, static_cast<double>(d.samplesSeen) + halfSymbol);
  d.station->sync.finish([&](const DecodedGroup& group) {
    count(d.counts, group);
    onGroup(group);
  });
}

void MpxDecoder::reset() {
  impl_->station = std::make_unique<StationLock>(impl_->sampleRate, impl_->echoes);
  impl_->stationStart = impl_->samplesSeen;
}

const DecoderCounts& MpxDecoder::counts() const {
  return impl_->counts;
}

ReceptionStatus MpxDecoder::status() const {
  const Impl& d = *impl_;
  const StationLock& station = *d.station;
  ReceptionStatus status;
  status.pilot = station.pilot.present();
  status.synchronised = station.sync.synchronised();
  const SymbolLevel& level = station.demodulator.level();
  const double symbolSnr = level.settledSignalToNoise() / 2.0;
  const double snrDb = 10.0 * std::log10(std::max(symbolSnr, 1e-9)) - kBandPerSymbolDb;
  status.carrier =
      station.demodulator.carrierClarity() >= kLeastCarrierClarity && snrDb >= kLeastSnrDb;
  if (status.carrier) {
    status.rdsLevel = kPeakPerAmplitude * level.amplitude();
    status.snrDb = snrDb;
  }
  if (const std::optional<BlockSync::RecentBlocks> recent = station.sync.recentBlocks()) {
    status.blockErrorRate = recent->due == 0
                                ? 0.0
                                : 1.0 - std::min(1.0, static_cast<double>(recent->good) /
                                                          static_cast<double>(recent->due));
  }
  return status;
}

}  // namespace tavimor::mpx
