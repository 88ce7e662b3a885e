// SPDX-License-Identifier: GPL-3.0-or-later
// The FM receiver on a stick's synthesized I/Q at 1.024 MS/s, 8-bit, with stereo programme: groups
// recovered and wrong of 2,000 sent at each carrier-to-noise ratio, on a clean channel and with an
// echo 8 us late, through fm::FmReceiver and through rtl_fm's chain into the same decoder; the
// processor time per second of I/Q; the delay from a group's last sample to its report.

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <vector>

#include "bench/reception_tally.h"
#include "dsp/constants.h"
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

constexpr double kIqRate = 1'024'000.0;
// rtl_fm -s 171k reads the stick at 6 x its output rate.
constexpr unsigned kRtlFmDecimation = 6;
// Sent before the counted groups, for the receivers to find the station: not counted.
constexpr std::size_t kLeadIn = 10;
// The echo's phase decides where its nulls fall (see iq_signal.h): each row takes four phases,
// a quarter of the groups each.
constexpr std::size_t kPhases = 4;
constexpr std::size_t kCountedPerPhase = 500;
constexpr std::size_t kCounted = kPhases * kCountedPerPhase;
constexpr double kEchoSeconds = 8e-6;
// The stick's samples use a quarter of the 8-bit range (root mean square), as with the gain set
// so that strong peaks do not clip.
constexpr double kRmsLevel = 0.25;
// 32 KiB of rtl_sdr's output (rtl_sdr -b 32768): what the receiver is given at a time.
constexpr std::size_t kWrite = 16'384;

struct SentStation {
  synth::MpxSignal multiplex;
  SentGroups sent;
};

const SentStation& station() {
  static const SentStation made = [] {
    synth::MpxSignalOptions options;
    options.sampleRate = kIqRate;
    options.programme = synth::Programme::Stereo;
    options.seed = 11;
    std::vector<RdsGroup> groups = synth::randomGroups(kLeadIn + kCountedPerPhase + 1, 5);
    synth::MpxSignal multiplex = synth::synthesizeMpx(groups, options);
    std::vector<double> ends;
    for (const std::uint64_t end : multiplex.groupEnds)
      ends.push_back(static_cast<double>(end) / kIqRate);
    SentGroups sent(std::move(groups), std::move(ends), kLeadIn);
    return SentStation{std::move(multiplex), std::move(sent)};
  }();
  return made;
}

// What the stick delivers, back at full scale +-1. The noise is counted against both paths'
// power together, 1 + amplitude^2, so that it does not depend on the echo's phase.
std::vector<std::complex<float>> stickSamples(double echoAmplitude, std::size_t phase,
                                              double cnrDb) {
  synth::FmChannel channel;
  if (echoAmplitude > 0.0)
    channel.echoes.push_back({.delaySeconds = kEchoSeconds,
                              .amplitude = echoAmplitude,
                              .phase = static_cast<double>(phase) * std::numbers::pi / 2.0});
  std::vector<std::complex<float>> iq =
      synth::modulateFm(station().multiplex.samples, kIqRate, channel);
  synth::addCarrierNoise(iq, 1.0 + echoAmplitude * echoAmplitude, cnrDb, kIqRate,
                         static_cast<std::uint32_t>(100 * phase + static_cast<unsigned>(cnrDb)));
  return synth::fromUnsigned8(synth::toUnsigned8(iq, kRmsLevel));
}

ReceiverChain iqReceiver() {
  return ReceiverChain({.kind = SignalKind::Iq, .sampleRate = kIqRate, .offsetHz = 0.0});
}

// The I/Q written to the receiver `write` samples at a time, as it comes from the stick.
void receive(const std::vector<std::complex<float>>& iq, Tally& tally, std::size_t write = kWrite) {
  ReceiverChain chain = iqReceiver();
  tavimor::bench::receive(chain, iq, write, station().sent, tally);
}

void receiveThroughRtlFm(const std::vector<std::complex<float>>& iq, Tally& tally) {
  const std::vector<float> multiplex = synth::rtlFmMultiplex(iq, kRtlFmDecimation);
  ReceiverChain chain({.kind = SignalKind::Multiplex, .sampleRate = kIqRate / kRtlFmDecimation});
  tavimor::bench::receive(chain, multiplex, multiplex.size(), station().sent, tally);
}

void setPercent(benchmark::State& state, const char* name, std::size_t groups) {
  state.counters[name] = 100.0 * static_cast<double>(groups) / kCounted;
}

// Arguments: the echo's amplitude in hundredths of the direct path's (0 for none), and the
// carrier-to-noise ratio in dB.
void groupsPerCnr(benchmark::State& state) {
  const double amplitude = static_cast<double>(state.range(0)) / 100.0;
  const auto cnr = static_cast<double>(state.range(1));
  Tally ours;
  Tally rtlFm;
  for (auto _ : state) {
    ours = {};
    rtlFm = {};
    for (std::size_t phase = 0; phase < kPhases; ++phase) {
      state.PauseTiming();
      const std::vector<std::complex<float>> iq = stickSamples(amplitude, phase, cnr);
      state.ResumeTiming();
      receive(iq, ours);
      receiveThroughRtlFm(iq, rtlFm);
    }
  }
  state.counters["recovered"] = static_cast<double>(ours.recovered);
  setPercent(state, "recovered_%", ours.recovered);
  state.counters["wrong"] = static_cast<double>(ours.wrong);
  state.counters["rtl_fm_recovered"] = static_cast<double>(rtlFm.recovered);
  setPercent(state, "rtl_fm_recovered_%", rtlFm.recovered);
  state.counters["rtl_fm_wrong"] = static_cast<double>(rtlFm.wrong);
  state.counters["cpu_ms_per_s"] = ours.processorSeconds / ours.signalSeconds * 1e3;
  state.counters["delay_ms_median"] = tavimor::bench::median(ours.delaysMs);
}
BENCHMARK(groupsPerCnr)
    ->ArgNames({"echo_%", "cnr_dB"})
    ->ArgsProduct({{0, 50, 70}, {30, 18, 14, 12, 11}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The delay from a group's last sample to its report by the size of the writes: rtl_sdr writes
// 256 KiB (131,072 samples, 128 ms) at a time unless told otherwise with -b.
void delayByWrite(benchmark::State& state) {
  const auto write = static_cast<std::size_t>(state.range(0));
  Tally tally;
  for (auto _ : state) {
    state.PauseTiming();
    const std::vector<std::complex<float>> iq = stickSamples(0.0, 0, 30.0);
    state.ResumeTiming();
    tally = {};
    receive(iq, tally, write);
  }
  state.counters["delay_ms_median"] = tavimor::bench::median(tally.delaysMs);
}
BENCHMARK(delayByWrite)
    ->ArgName("samples")
    ->Arg(1'024)
    ->Arg(kWrite)
    ->Arg(131'072)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Processor time for one second of I/Q with an echo at 0.7 and a CNR of 18 dB, in writes of
// 32 KiB: the receiver alone, and the receiver with the decoder.
void secondOfIq(benchmark::State& state) {
  constexpr std::size_t kSeconds = 20;
  const auto second = static_cast<std::size_t>(kIqRate);
  std::vector<std::complex<float>> iq = stickSamples(0.7, 1, 18.0);
  iq.resize(kSeconds * second);
  tavimor::fm::FmReceiver receiver(kIqRate, 0.0);
  ReceiverChain chain = iqReceiver();
  const bool decode = state.range(0) != 0;
  std::size_t groups = 0;
  const auto onGroup = [&](const tavimor::receiver::TimedGroup&) { ++groups; };
  std::vector<float> multiplex;
  std::size_t seconds = 0;
  for (auto _ : state) {
    const std::size_t start = (seconds++ % kSeconds) * second;
    for (std::size_t i = 0; i < second; i += kWrite) {
      const auto write = std::span(iq).subspan(start + i, std::min(kWrite, second - i));
      if (decode) {
        chain.process(write, onGroup);
      } else {
        multiplex.clear();
        receiver.process(write, multiplex);
      }
    }
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(secondOfIq)
    ->ArgName("decoder")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
