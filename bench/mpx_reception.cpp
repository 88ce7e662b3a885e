// SPDX-License-Identifier: GPL-3.0-or-later
// The multiplex decoder on synthesized receptions at 171 kHz with stereo programme audio: groups
// recovered and wrong per 2,000 sent at each signal-to-noise ratio, with and without a pilot, and
// with an RDS encoder on a clock of its own; per 250 sent through an RTL-SDR stick's FM chain with
// an echo, at each of eight phases of the echo; the processor time per second of signal; the delay
// from a group's last sample to its report.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <ctime>
#include <map>
#include <numbers>
#include <optional>
#include <vector>

#include "bench/reception_tally.h"
#include "receiver/receiver_chain.h"
#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"

namespace {

using tavimor::RdsGroup;
using tavimor::bench::SentGroups;
using tavimor::bench::Tally;
using tavimor::receiver::ReceiverChain;
using tavimor::receiver::SignalKind;
namespace synth = tavimor::testing;

constexpr double kRate = 171'000.0;
// Sent before the counted groups, for the receiver to find the station: not counted.
constexpr std::size_t kLeadIn = 10;
constexpr std::size_t kCounted = 2'000;
constexpr double kRdsLevel = 0.04;
// rtl_fm writes a few thousand samples at a time.
constexpr std::size_t kWrite = 4'096;

struct Reception {
  std::vector<RdsGroup> sent;
  synth::MpxSignal signal;
};

synth::MpxSignalOptions stereoStation(double rate, bool pilot, double rdsClockPpm = 0.0) {
  synth::MpxSignalOptions options;
  options.sampleRate = rate;
  options.pilot = pilot ? synth::PilotTone::InPhase : synth::PilotTone::Absent;
  options.programme = synth::Programme::Stereo;
  options.rdsLevel = kRdsLevel;
  options.rdsClockPpm = rdsClockPpm;
  options.seed = 11;
  return options;
}

// With or without a pilot, and the RDS encoder's clock this far off the pilot's.
const Reception& reception(bool pilot, double rdsClockPpm = 0.0) {
  static std::map<std::pair<bool, double>, Reception> cache;
  auto found = cache.find({pilot, rdsClockPpm});
  if (found != cache.end()) return found->second;
  Reception made;
  made.sent = synth::randomGroups(kLeadIn + kCounted + 1, 5);
  made.signal = synth::synthesizeMpx(made.sent, stereoStation(kRate, pilot, rdsClockPpm));
  return cache.emplace(std::pair(pilot, rdsClockPpm), std::move(made)).first->second;
}

// The groups sent, with when each ended at a signal's rate.
SentGroups sentGroups(const std::vector<RdsGroup>& groups, const synth::MpxSignal& signal,
                      double rate) {
  std::vector<double> ends;
  for (const std::uint64_t end : signal.groupEnds)
    ends.push_back(static_cast<double>(end) / rate);
  return {groups, std::move(ends), kLeadIn};
}

Tally decode(const std::vector<float>& samples, const SentGroups& sent, std::size_t write) {
  Tally tally;
  ReceiverChain chain({.kind = SignalKind::Multiplex, .sampleRate = kRate});
  tavimor::bench::receive(chain, samples, write, sent, tally);
  return tally;
}

void report(benchmark::State& state, const Tally& tally, const SentGroups& sent) {
  const double seconds = tally.signalSeconds;
  const auto counted = static_cast<double>(sent.counted());
  state.counters["recovered"] = static_cast<double>(tally.recovered);
  state.counters["wrong"] = static_cast<double>(tally.wrong);
  state.counters["recovered_%"] = 100.0 * static_cast<double>(tally.recovered) / counted;
  state.counters["wrong_%"] = 100.0 * static_cast<double>(tally.wrong) / counted;
  state.counters["cpu_ms_per_s"] = tally.processorSeconds / seconds * 1e3;
  state.counters["delay_ms_median"] = tavimor::bench::median(tally.delaysMs);
}

void decodeInNoise(benchmark::State& state, const Reception& station, double snrDb,
                   std::uint32_t seed) {
  const SentGroups sent = sentGroups(station.sent, station.signal, kRate);
  Tally tally;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<float> samples = station.signal.samples;
    synth::addNoise(samples, station.signal.rdsPower, snrDb, kRate, seed);
    state.ResumeTiming();
    tally = decode(samples, sent, kWrite);
  }
  report(state, tally, sent);
}

// Arguments: signal-to-noise ratio in dB, and 1 with a pilot or 0 without.
void groupsPerSnr(benchmark::State& state) {
  decodeInNoise(state, reception(state.range(1) != 0), static_cast<double>(state.range(0)),
                static_cast<std::uint32_t>(100 + state.range(0)));
}
BENCHMARK(groupsPerSnr)
    ->ArgNames({"snr_dB", "pilot"})
    ->ArgsProduct({{10, 4, 2, 0, -1, -2, -3, -4, -5}, {1}})
    ->ArgsProduct({{10, 4, 2, 0, -1, -2, -3, -4, -5}, {0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Arguments: how far the RDS encoder's clock is off the pilot's, in ppm, and the signal-to-noise
// ratio in dB; with a pilot.
void groupsOnItsOwnClock(benchmark::State& state) {
  decodeInNoise(state, reception(true, static_cast<double>(state.range(0))),
                static_cast<double>(state.range(1)),
                static_cast<std::uint32_t>(200 + state.range(1)));
}
BENCHMARK(groupsOnItsOwnClock)
    ->ArgNames({"ppm", "snr_dB"})
    ->ArgsProduct({{-150, -50, 50, 150}, {4, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// rtl_fm -M fm -s 171k takes the stick's I/Q at six times that rate.
constexpr unsigned kIqDecimation = 6;
constexpr std::size_t kMultipathCounted = 250;
constexpr double kCarrierToNoiseDb = 30.0;
// Of the 8-bit converter's full scale, as a stick's gain is set.
constexpr double kIqLevel = 0.35;

// Arguments: the echo's amplitude in percent of the direct path's, and its phase in eighths of a
// turn; 8 us late, at a CNR of 30 dB.
void groupsThroughMultipath(benchmark::State& state) {
  static const auto [sent, multiplex] = [] {
    std::vector<RdsGroup> groups = synth::randomGroups(kLeadIn + kMultipathCounted + 1, 6);
    return std::pair(groups,
                     synth::synthesizeMpx(groups, stereoStation(kRate * kIqDecimation, true)));
  }();
  const SentGroups counted = sentGroups(sent, multiplex, kRate * kIqDecimation);
  std::vector<float> received;
  Tally tally;
  for (auto _ : state) {
    state.PauseTiming();
    synth::FmChannel channel;
    channel.echoes = {{8e-6, static_cast<double>(state.range(0)) / 100.0,
                       static_cast<double>(state.range(1)) * std::numbers::pi / 4.0}};
    const double iqRate = kRate * kIqDecimation;
    std::vector<std::complex<float>> iq = synth::modulateFm(multiplex.samples, iqRate, channel);
    synth::addCarrierNoise(iq, synth::meanPower(iq), kCarrierToNoiseDb, iqRate, 13);
    received = synth::rtlFmMultiplex(synth::fromUnsigned8(synth::toUnsigned8(iq, kIqLevel)),
                                     kIqDecimation);
    state.ResumeTiming();
    tally = decode(received, counted, kWrite);
  }
  report(state, tally, counted);
}
BENCHMARK(groupsThroughMultipath)
    ->ArgNames({"echo_%", "phase_8ths"})
    ->ArgsProduct({{70, 50}, {0, 1, 2, 3, 4, 5, 6, 7}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The decoder's own delay, in writes of 64 samples: its filters and its decision.
void delayOfTheDecoder(benchmark::State& state) {
  const Reception& station = reception(true);
  const SentGroups sent = sentGroups(station.sent, station.signal, kRate);
  Tally tally;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<float> samples = station.signal.samples;
    synth::addNoise(samples, station.signal.rdsPower, 10.0, kRate, 7);
    state.ResumeTiming();
    tally = decode(samples, sent, 64);
  }
  state.counters["delay_ms_median"] = tavimor::bench::median(tally.delaysMs);
  state.counters["delay_ms_max"] = *std::max_element(tally.delaysMs.begin(), tally.delaysMs.end());
}
BENCHMARK(delayOfTheDecoder)->Iterations(1)->Unit(benchmark::kMillisecond);

// Processor time for one second of 171 kHz signal at 0 dB, in writes as rtl_fm makes them.
void secondOfSignal(benchmark::State& state) {
  const Reception& sent = reception(true);
  std::vector<float> samples(sent.signal.samples.begin(),
                             sent.signal.samples.begin() + static_cast<std::ptrdiff_t>(20 * kRate));
  synth::addNoise(samples, sent.signal.rdsPower, 0.0, kRate, 9);
  ReceiverChain chain({.kind = SignalKind::Multiplex, .sampleRate = kRate});
  std::size_t second = 0;
  std::size_t groups = 0;
  const auto onGroup = [&](const tavimor::receiver::TimedGroup&) { ++groups; };
  for (auto _ : state) {
    const std::size_t start = (second++ % 20) * static_cast<std::size_t>(kRate);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kRate); i += kWrite) {
      const std::size_t n = std::min(kWrite, static_cast<std::size_t>(kRate) - i);
      chain.process(std::span<const float>(samples).subspan(start + i, n), onGroup);
    }
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(secondOfSignal)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
