// SPDX-License-Identifier: GPL-3.0-or-later
// The multiplex decoder on synthesized receptions: every rate, an RDS encoder on a clock of its
// own, a receiver's clock far off, a station going mono, silences, level steps, fades and
// retunes, each station found within three groups and never a wrong group, and the status it
// reads; the start, and a pause with samples lost, at any phase of the subcarrier; an echo through
// a stick and rtl_fm; the block code's decisions on many noisy blocks; noise alone; the same
// groups however the input is cut; a slip of a symbol; a dropout; the end of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "dsp/constants.h"
#include "mpx/block_code.h"
#include "mpx/mpx_decoder.h"
#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/row_name.h"

namespace tavimor::mpx {
namespace {

using testing::MpxSignal;
using testing::MpxSignalOptions;
using testing::PilotTone;
using testing::Programme;

using dsp::kGroupSeconds;

struct Decoded {
  std::vector<DecodedGroup> groups;
  // When the group before the last had ended, the station still on.
  ReceptionStatus status;
  DecoderCounts counts;
  // A pilot once found was declared gone, though no reset() came.
  bool pilotLost = false;
};

// In pieces of `piece` samples, with reset() before sample resetAt if given, then finish().
Decoded decode(const MpxSignal& signal, double rate, std::size_t piece = 4096,
               std::optional<std::size_t> resetAt = std::nullopt) {
  MpxDecoder decoder(rate);
  Decoded out;
  const auto keep = [&](const DecodedGroup& group) { out.groups.push_back(group); };
  const std::span<const float> samples(signal.samples);
  const std::uint64_t statusAt = signal.groupEnds[signal.groupEnds.size() - 2];
  bool pilot = false;
  for (std::size_t at = 0; at < samples.size();) {
    if (resetAt == at) {
      decoder.reset();
      pilot = false;
    }
    const std::size_t end =
        std::min({at + piece, samples.size(), resetAt > at ? *resetAt : SIZE_MAX});
    decoder.process(samples.subspan(at, end - at), keep);
    const ReceptionStatus status = decoder.status();
    if (at <= statusAt && statusAt < end) out.status = status;
    out.pilotLost = out.pilotLost || (pilot && !status.pilot);
    pilot = status.pilot;
    at = end;
  }
  decoder.finish(keep);
  out.counts = decoder.counts();
  return out;
}

std::array<std::uint16_t, 4> blocksOf(const RdsGroup& group) {
  return {group.a, group.b, group.c, group.d};
}

// Which groups came whole, matched by where they ended; fails on any group not as it was sent.
std::vector<bool> wholeGroups(const Decoded& decoded, const MpxSignal& signal,
                              const std::vector<RdsGroup>& sent, double rate) {
  std::vector<bool> whole(sent.size(), false);
  for (const DecodedGroup& group : decoded.groups) {
    const auto nearest = std::ranges::min_element(signal.groupEnds, {}, [&](std::uint64_t end) {
      return std::abs(static_cast<double>(end) - static_cast<double>(group.endSample));
    });
    const auto index = static_cast<std::size_t>(nearest - signal.groupEnds.begin());
    EXPECT_NEAR(static_cast<double>(*nearest), static_cast<double>(group.endSample),
                0.25 * kGroupSeconds * rate);
    for (std::size_t i = 0; i < 4; ++i)
      EXPECT_EQ(group.blocks[i].value_or(blocksOf(sent[index])[i]), blocksOf(sent[index])[i])
          << "group " << index << ", block " << i;
    whole[index] = whole[index] || group.complete();
  }
  return whole;
}

// The receiver tuned to another station after some groups of the first: blindly, or with reset();
// the new station's bits where the old one's would have gone on, or anywhere.
struct Retune {
  std::size_t after = 0;
  bool announced = false;
  bool keepsBlocks = false;
  // Of the new station's groups, and so of its identification.
  std::uint32_t groupsSeed = 8;
};

struct ReceptionCase {
  const char* name;
  MpxSignalOptions options;
  // Of the groups after the first `grace` each time the station changes (three at the start), the
  // share that comes whole; and one of those first must.
  double leastShare = 1.0;
  Retune retune = {};
  std::size_t groups = 60;
  std::size_t grace = 3;
  // The share of blocks lost the status may read at the end, counted from the station's first.
  double mostLost = 1.0;
};

class Reception : public ::testing::TestWithParam<ReceptionCase> {};

TEST_P(Reception, FindsEachStationSoonAndNoWrongGroup) {
  const ReceptionCase& row = GetParam();
  const double rate = row.options.sampleRate;
  std::vector<RdsGroup> sent = testing::randomGroups(row.groups, 7);
  MpxSignal signal = testing::synthesizeMpx(sent, row.options);
  // Stretches, in seconds, in which the station is gone or changes: an instant for a step.
  std::vector<std::pair<double, double>> stretches = row.options.fades;
  stretches.insert(stretches.end(), row.options.silences.begin(), row.options.silences.end());
  if (row.options.levelStep != 1.0)
    stretches.emplace_back(row.options.levelStepAt, row.options.levelStepAt);
  std::optional<std::size_t> resetAt;
  if (row.retune.after > 0) {
    const std::vector<RdsGroup> next = testing::randomGroups(row.groups, row.retune.groupsSeed);
    MpxSignalOptions nextOptions = row.options;
    nextOptions.seed += 100;
    nextOptions.clockErrorPpm += 30.0;
    if (row.retune.keepsBlocks) nextOptions.firstBitSeconds = 0.0;
    signal = testing::retune(signal, testing::synthesizeMpx(next, nextOptions), row.retune.after);
    sent.resize(row.retune.after);
    sent.insert(sent.end(), next.begin(), next.end());
    const std::uint64_t cut = signal.groupEnds[row.retune.after - 1];
    // reset() forgets the group still in the filters when the station goes.
    stretches.emplace_back(static_cast<double>(cut) / rate - 0.01, static_cast<double>(cut) / rate);
    if (row.retune.announced) resetAt = cut;
  }
  const Decoded decoded = decode(signal, rate, 4096, resetAt);
  const std::vector<bool> whole = wholeGroups(decoded, signal, sent, rate);

  std::vector<double> starts;
  for (const std::uint64_t end : signal.groupEnds)
    starts.push_back(static_cast<double>(end) / rate - kGroupSeconds);
  std::vector<bool> counted(sent.size(), true);
  for (std::size_t i = 0; i < sent.size(); ++i)
    for (const auto& [from, to] : stretches)
      counted[i] = counted[i] && !(starts[i] < to && starts[i] + kGroupSeconds > from);
  // The start is found within three groups (or `grace`), the station after every change within
  // `grace`.
  stretches.emplace_back(-1.0, -1.0);
  for (const auto& stretch : stretches) {
    const std::size_t grace =
        stretch.second < 0.0 ? std::max<std::size_t>(3, row.grace) : row.grace;
    std::vector<std::size_t> first;
    for (std::size_t i = 0; i < sent.size() && first.size() < grace; ++i)
      if (counted[i] && starts[i] >= stretch.second) first.push_back(i);
    EXPECT_TRUE(std::ranges::any_of(first, [&](std::size_t i) { return whole[i]; }))
        << "none of the " << grace << " groups after " << stretch.second << " s";
    for (const std::size_t i : first)
      counted[i] = false;
  }
  const auto due = std::ranges::count(counted, true);
  std::size_t found = 0;
  for (std::size_t i = 0; i < sent.size(); ++i)
    found += counted[i] && whole[i] ? 1 : 0;
  EXPECT_GE(static_cast<double>(found), row.leastShare * static_cast<double>(due))
      << found << " of " << due;

  const ReceptionStatus& status = decoded.status;
  EXPECT_EQ(status.pilot, row.options.pilot != PilotTone::Absent);
  // No silence, fade or noise here lasts long enough to call the pilot gone; a mono stretch does.
  EXPECT_EQ(decoded.pilotLost, !row.options.monoStretches.empty());
  EXPECT_TRUE(status.carrier && status.synchronised);
  const double level = row.options.rdsLevel * row.options.levelStep;
  EXPECT_NEAR(status.rdsLevel, level, 0.1 * level);
  if (row.options.snrDb) {
    EXPECT_NEAR(status.snrDb.value_or(-99.0), *row.options.snrDb, 1.0);
  }
  EXPECT_LE(status.blockErrorRate.value_or(1.0), row.mostLost);
}

constexpr double kRate = 171'000;

MpxSignalOptions station(std::optional<double> snrDb = {}, PilotTone pilot = PilotTone::InPhase,
                         double rate = kRate, Programme programme = Programme::Stereo) {
  return {.sampleRate = rate,
          .pilot = pilot,
          .programme = programme,
          .snrDb = snrDb,
          .clockErrorPpm = 40.0};
}

MpxSignalOptions changed(MpxSignalOptions options, const auto& change) {
  change(options);
  return options;
}

// Blocks kept, at -4 dB, to a station whose identification is 3 symbols from the first's.
ReceptionCase toNeighbouringPi(const char* name, std::uint32_t noiseSeed) {
  const Retune retune{.after = 20, .keepsBlocks = true, .groupsSeed = 17'746};
  return {name, changed(station(-4.0), [&](auto& o) { o.seed = noiseSeed; }), 0.4, retune, 60, 8};
}

INSTANTIATE_TEST_SUITE_P(
    Receptions, Reception,
    ::testing::Values(
        ReceptionCase{"At171kHz", station(), 1.0, {}, 60, 3, 0.02},
        ReceptionCase{"At192kHzWithoutPilot",
                      station({}, PilotTone::Absent, 192'000, Programme::Mono)},
        ReceptionCase{"At228kHzPilotInQuadrature", station({}, PilotTone::Quadrature, 228'000)},
        ReceptionCase{"At250kHzSilentWithoutPilot",
                      station({}, PilotTone::Absent, 250'000, Programme::Silent)},
        ReceptionCase{"OwnClock50ppmAt2dB",
                      changed(station(2.0), [](auto& o) { o.rdsClockPpm = 50.0; }), 0.95},
        ReceptionCase{"OwnClockMinus150ppmAt4dB",
                      changed(station(4.0), [](auto& o) { o.rdsClockPpm = -150.0; }), 0.95},
        ReceptionCase{
            "OwnClock100ppmWithoutPilot",
            changed(station(4.0, PilotTone::Absent), [](auto& o) { o.rdsClockPpm = 100.0; }), 0.95},
        ReceptionCase{"SilenceOfTwoSecondsFirst",
                      changed(station(8.0),
                              [](auto& o) {
                                o.silences = {{0.0, 2.0}};
                              }),
                      1.0,
                      {},
                      60,
                      3,
                      0.02},
        ReceptionCase{"SilenceOfOneSecond", changed(station(8.0),
                                                    [](auto& o) {
                                                      o.silences = {{1.5, 2.5}};
                                                    })},
        // A strong station's clean blocks, judged by a level that moved within them, looked amiss.
        ReceptionCase{"At20dB", changed(station(20.0), [](auto& o) { o.seed = 4; })},
        ReceptionCase{"ReceiverClock300ppmOffAt20dB",
                      changed(station(20.0), [](auto& o) { o.clockErrorPpm = 300.0; })},
        // The bit clock and the carrier ride on the pilot's clock while it is missing, and on their
        // own once it is gone. (A pilot loop that follows the noise instead wanders off by chance:
        // with this noise, far enough to lose groups.)
        ReceptionCase{"ReceiverClock300ppmOffGoingMonoForFourSeconds",
                      changed(station(8.0),
                              [](auto& o) {
                                o.seed = 8;
                                o.clockErrorPpm = 300.0;
                                o.monoStretches = {{1.5, 5.5}};
                              }),
                      1.0,
                      {},
                      80},
        ReceptionCase{"ReceiverClock300ppmSlowWithoutPilot",
                      changed(station(8.0, PilotTone::Absent, kRate, Programme::Mono),
                              [](auto& o) { o.clockErrorPpm = -300.0; })},
        // The carrier's loops start out to the ends of the range of clock errors claimed.
        ReceptionCase{"ReceiverClock345ppmFastWithoutPilotAtMinus3dB",
                      changed(station(-3.0, PilotTone::Absent, kRate, Programme::Mono),
                              [](auto& o) { o.clockErrorPpm = 345.0; }),
                      0.6},
        ReceptionCase{"TwoFadesCloseTogether", changed(station(8.0),
                                                       [](auto& o) {
                                                         o.fades = {{1.0, 2.0}, {2.3, 2.6}};
                                                       })},
        ReceptionCase{"SilencesAndFadesAddingUpToEightSeconds",
                      changed(station(8.0),
                              [](auto& o) {
                                o.silences = {{1, 2}, {3, 4}};
                                o.fades = {{5, 6.5}, {7.5, 9}, {10, 11.5}, {12.5, 14}};
                              }),
                      1.0,
                      {},
                      180},
        ReceptionCase{"LevelTenTimesUp", changed(station(8.0),
                                                 [](auto& o) {
                                                   o.levelStepAt = 1.5;
                                                   o.levelStep = 10.0;
                                                 })},
        ReceptionCase{"LevelTenTimesDown", changed(station(8.0),
                                                   [](auto& o) {
                                                     o.levelStepAt = 1.5;
                                                     o.levelStep = 0.1;
                                                   })},
        ReceptionCase{"RetuneToAnotherStation", station(8.0), 1.0, {.after = 20}},
        ReceptionCase{"RetuneWithoutPilot",
                      station(8.0, PilotTone::Absent, kRate, Programme::Mono),
                      1.0,
                      {.after = 17}},
        ReceptionCase{"RetuneAnnounced", station(8.0), 1.0, {.after = 20, .announced = true}},
        // The new station's blocks A and C' come through the test against its identification once
        // that is known.
        ReceptionCase{"RetuneKeepingTheBlocksAtMinus4dB",
                      station(-4.0),
                      0.48,
                      {.after = 20, .keepsBlocks = true},
                      100,
                      8},
        // While the new identification waits to be confirmed, and in a group of nothing else, the
        // old one, three channel symbols away, must not pass.
        toNeighbouringPi("RetuneToANeighbouringPiUnconfirmed", 22),
        toNeighbouringPi("RetuneToANeighbouringPiAlone", 15)),
    testing::kRowName);

// An encoder without a pilot whose subcarrier starts anywhere against the receiver's oscillator,
// even a quarter turn from where the carrier loops start: the second group comes whole. Then the
// input pauses for half a second and resumes with samples lost, the subcarrier at another of those
// phases: the first group after the pause comes whole too.
TEST(Start, FindsTheStationInTheSecondGroupAtAnyPhaseOfTheSubcarrierAndAgainAfterAPause) {
  const std::vector<RdsGroup> sent = testing::randomGroups(9, 9);
  std::vector<RdsGroup> both(sent.begin(), sent.begin() + 3);
  both.insert(both.end(), sent.begin(), sent.end());
  for (const auto& [start, resumed] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {0, 3}}) {
    MpxSignalOptions options = station({}, PilotTone::Absent, 228'000, Programme::Silent);
    options.clockErrorPpm = 0.0;
    options.subcarrierPhase = resumed * std::numbers::pi / 2.0;
    options.firstBitSeconds = 0.0;
    options.silences = {{0.0, 0.5}};
    const MpxSignal after = testing::synthesizeMpx(sent, options);
    options.subcarrierPhase = start * std::numbers::pi / 2.0;
    options.firstBitSeconds = 3e-4;
    options.silences = {};
    const MpxSignal signal = testing::retune(testing::synthesizeMpx(sent, options), after, 3);
    const std::vector<bool> whole = wholeGroups(decode(signal, 228'000), signal, both, 228'000);
    EXPECT_TRUE(whole[1]) << "a subcarrier starting " << start << " quarter turns in";
    EXPECT_TRUE(whole[3 + 6]) << "resuming " << resumed << " quarter turns in after " << start;
  }
}

// A stereo station through an RTL-SDR stick and rtl_fm's chain, with an echo 8 us late at 0.7 of
// the direct path, CNR 30 dB, at the two phases of the echo that put its nulls deepest into the
// deviation: after the first three, the groups come whole, none wrong.
TEST(Echo, IsUndoneFromTheMultiplexAtThePhasesThatBendItMost) {
  constexpr unsigned kDecimation = 6;
  const double iqRate = kRate * kDecimation;
  const std::vector<RdsGroup> sent = testing::randomGroups(40, 6);
  MpxSignalOptions options = station({}, PilotTone::InPhase, iqRate);
  options.clockErrorPpm = 0.0;
  const MpxSignal transmitted = testing::synthesizeMpx(sent, options);
  for (const double phase : {std::numbers::pi / 2.0, 3.0 * std::numbers::pi / 2.0}) {
    testing::FmChannel channel;
    channel.echoes = {{8e-6, 0.7, phase}};
    std::vector<std::complex<float>> iq = testing::modulateFm(transmitted.samples, iqRate, channel);
    testing::addCarrierNoise(iq, testing::meanPower(iq), 30.0, iqRate, 13);
    MpxSignal received{testing::rtlFmMultiplex(
                           testing::fromUnsigned8(testing::toUnsigned8(iq, 0.35)), kDecimation),
                       {},
                       0.0};
    for (const std::uint64_t end : transmitted.groupEnds)
      received.groupEnds.push_back(end / kDecimation);
    const std::vector<bool> whole = wholeGroups(decode(received, kRate), received, sent, kRate);
    EXPECT_GE(std::count(whole.begin() + 3, whole.end() - 1, true), 34) << "echo at " << phase;
  }
}

// The 27 channel symbols of a block, the first the last of the block before.
std::array<float, kBlockSymbols> symbolsOf(std::uint32_t block, bool first, float reliability) {
  std::array<float, kBlockSymbols> symbols{};
  bool value = first;
  symbols[0] = first ? reliability : -reliability;
  for (std::size_t i = 1; i < kBlockSymbols; ++i) {
    value = value != (((block >> (kBlockSymbols - 1 - i)) & 1U) != 0);
    symbols[i] = value ? reliability : -reliability;
  }
  return symbols;
}

// Random blocks through Gaussian noise, of amplitude 1 at this symbol signal-to-noise ratio: where
// nearly all can be taken, none wrong; where few can, no more than the odds allow; read a symbol
// late (the stream slipped), none at all.
struct DecisionCase {
  const char* name;
  OffsetSet allowed;
  double symbolSnrDb;
  std::size_t leastTaken;
  std::size_t mostTaken;
  bool late = false;
};

class BlockDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(BlockDecision, TakesNoWrongWordOfFortyThousandNoisyBlocks) {
  const DecisionCase& row = GetParam();
  std::mt19937 random(29);
  std::uniform_int_distribution<unsigned> word(0, 0xFFFF);
  const double snr = std::pow(10.0, row.symbolSnrDb / 10.0);
  std::normal_distribution<double> noise(0.0, 1.0 / std::sqrt(snr));
  std::size_t taken = 0;
  std::size_t wrong = 0;
  for (int n = 0; n < 40'000; ++n) {
    const auto data = static_cast<std::uint16_t>(word(random));
    auto offset = static_cast<Offset>(word(random) % kOffsetCount);
    while ((row.allowed & offsetBit(offset)) == 0)
      offset = static_cast<Offset>((static_cast<unsigned>(offset) + 1) % kOffsetCount);
    std::array<float, kBlockSymbols> symbols =
        symbolsOf(blockOf(data, offset), word(random) % 2 == 0, 1.0F);
    if (row.late) std::rotate(symbols.begin(), symbols.begin() + 1, symbols.end());
    for (float& symbol : symbols)
      symbol = static_cast<float>(2.0 * snr * (symbol + noise(random)));
    const std::optional<SoftDecision> decision =
        decideBlock(symbols, static_cast<float>(2.0 * snr), row.allowed, SoftLimits{});
    taken += decision ? 1 : 0;
    wrong += decision && (decision->data != data || decision->offset != offset) ? 1 : 0;
  }
  EXPECT_EQ(wrong, row.late ? taken : 0);
  EXPECT_GE(taken, row.leastTaken);
  EXPECT_LE(taken, row.mostTaken);
}

constexpr OffsetSet kCOrCPrime = offsetBit(Offset::C) | offsetBit(Offset::CPrime);

INSTANTIATE_TEST_SUITE_P(
    NoisyBlocks, BlockDecision,
    ::testing::Values(DecisionCase{"BlockBAt8dB", offsetBit(Offset::B), 8.0, 39'900, 40'000},
                      DecisionCase{"BlockCOrCPrimeAt8dB", kCOrCPrime, 8.0, 39'800, 40'000},
                      DecisionCase{"BlockCOrCPrimeAt1dot5dB", kCOrCPrime, 1.5, 20, 40},
                      DecisionCase{"BlockBASymbolLateAt12dB", offsetBit(Offset::B), 12.0, 0, 0,
                                   true}),
    testing::kRowName);

// A receiver tuned between stations, or to a station without RDS.
class NoRds : public ::testing::TestWithParam<ReceptionCase> {};

TEST_P(NoRds, GivesNoGroupInFortySecondsAndSaysSo) {
  MpxSignalOptions options = GetParam().options;
  options.rdsLevel = 0.0;
  MpxSignal signal = testing::synthesizeMpx(
      std::vector<RdsGroup>(static_cast<std::size_t>(40 / kGroupSeconds)), options);
  // Noise as strong as around a subcarrier at 4 % received at 0 dB.
  testing::addNoise(signal.samples, 0.04 * 0.04 / 4.0, 0.0, options.sampleRate, 3);
  const Decoded decoded = decode(signal, options.sampleRate);
  EXPECT_TRUE(decoded.groups.empty()) << decoded.groups.size() << " groups";
  EXPECT_EQ(decoded.status.pilot, options.pilot != PilotTone::Absent);
  EXPECT_FALSE(decoded.status.carrier || decoded.status.synchronised || decoded.status.snrDb);
  EXPECT_FALSE(decoded.status.blockErrorRate);
}

INSTANTIATE_TEST_SUITE_P(Receptions, NoRds,
                         ::testing::Values(ReceptionCase{"OnlyNoise",
                                                         station({}, PilotTone::Absent, kRate,
                                                                 Programme::Silent)},
                                           ReceptionCase{"StereoStationWithoutRds", station()}),
                         testing::kRowName);

// A weak station decoded in pieces of different sizes: the same groups, as many as the decoder
// finds in such noise, and counts that add up.
TEST(WeakStation, GivesTheSameGroupsInPiecesOfAnySize) {
  const std::vector<RdsGroup> sent = testing::randomGroups(150, 5);
  const MpxSignal signal = testing::synthesizeMpx(sent, station(-4.0));
  const Decoded reference = decode(signal, kRate);
  for (const std::size_t piece : {1000, 1, 333}) {
    const Decoded decoded = decode(signal, kRate, piece);
    ASSERT_EQ(decoded.groups.size(), reference.groups.size()) << "in pieces of " << piece;
    for (std::size_t i = 0; i < decoded.groups.size(); ++i) {
      EXPECT_EQ(decoded.groups[i].blocks, reference.groups[i].blocks) << piece << ": " << i;
      EXPECT_EQ(decoded.groups[i].endSample, reference.groups[i].endSample) << piece << ": " << i;
    }
  }
  const auto whole = static_cast<std::uint64_t>(
      std::ranges::count(wholeGroups(reference, signal, sent, kRate), true));
  EXPECT_GE(whole, 60U);
  std::uint64_t blocks = 0;
  for (const DecodedGroup& group : reference.groups)
    blocks += static_cast<std::uint64_t>(
        std::ranges::count_if(group.blocks, [](const auto& block) { return block.has_value(); }));
  EXPECT_EQ(reference.counts.groups, reference.groups.size());
  EXPECT_EQ(reference.counts.completeGroups, whole);
  EXPECT_EQ(reference.counts.blocks, blocks);
  EXPECT_EQ(reference.counts.lostBlocks, 4 * reference.groups.size() - blocks);
}

// A block A of another identification once among a station's groups, as one that passed its check
// wrongly would be, is not taken however well the rest of its group comes through.
TEST(OtherPi, OnceAmongAStationsGroupsIsNotTaken) {
  std::vector<RdsGroup> sent = testing::randomGroups(12, 7);
  sent[8].a ^= 0x0404U;
  const Decoded decoded = decode(testing::synthesizeMpx(sent, station()), kRate);
  EXPECT_TRUE(std::ranges::none_of(
      decoded.groups, [&](const DecodedGroup& group) { return group.blocks[0] == sent[8].a; }));
}

// The receiver's clock loses a symbol's samples, or takes them twice: the blocks are found again
// where they slipped to, and only the group it falls in is lost.
TEST(Slip, OfOneSymbolCostsOnlyTheGroupItFallsIn) {
  const std::vector<RdsGroup> sent = testing::randomGroups(24, 10);
  const MpxSignal signal = testing::synthesizeMpx(sent, station());
  const auto symbol = static_cast<std::ptrdiff_t>(kRate / dsp::kSymbolRate);
  const auto at =
      static_cast<std::ptrdiff_t>(signal.groupEnds[11] * 2 / 5 + signal.groupEnds[12] * 3 / 5);
  for (const std::ptrdiff_t slip : {-symbol, symbol}) {
    MpxSignal slipped = signal;
    if (slip < 0)
      slipped.samples.erase(slipped.samples.begin() + at, slipped.samples.begin() + at - slip);
    else
      slipped.samples.insert(slipped.samples.begin() + at, signal.samples.begin() + at,
                             signal.samples.begin() + at + slip);
    for (std::uint64_t& end : slipped.groupEnds)
      end = end > static_cast<std::uint64_t>(at) ? end + slip : end;
    const std::vector<bool> whole = wholeGroups(decode(slipped, kRate), slipped, sent, kRate);
    EXPECT_EQ(std::count(whole.begin() + 3, whole.end(), false), 1) << "slipped by " << slip;
  }
}

// A dropout of 20 ms costs the block it falls in, and one at the start before the clock and the
// carrier are found: no more.
TEST(Dropout, CostsOnlyTheBlockItFallsIn) {
  MpxSignalOptions options = station({}, PilotTone::InPhase, 228'000, Programme::Silent);
  options.silences = {{1.5, 1.52}};
  const MpxSignal signal = testing::synthesizeMpx(testing::randomGroups(30, 12), options);
  EXPECT_LE(decode(signal, 228'000).counts.lostBlocks, 2U);
}

// The input ends at a group's end, then half way into the next group: the last group comes with
// the blocks given, the others absent.
TEST(EndOfInput, GivesTheLastGroupWithTheBlocksDecided) {
  const std::vector<RdsGroup> sent = testing::randomGroups(12, 9);
  const MpxSignal signal = testing::synthesizeMpx(sent, station());
  for (const std::size_t blocksGiven : {4, 2}) {
    const std::size_t last = blocksGiven == 4 ? 9 : 10;
    const double end = static_cast<double>(signal.groupEnds[last - 1]) +
                       static_cast<double>(blocksGiven) * kGroupSeconds / 4.0 * kRate;
    MpxSignal cut = signal;
    cut.samples.resize(static_cast<std::size_t>(end));
    const Decoded decoded = decode(cut, kRate);
    ASSERT_FALSE(decoded.groups.empty());
    EXPECT_NEAR(static_cast<double>(decoded.groups.back().endSample), end, 171.0);
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(decoded.groups.back().blocks[i],
                i < blocksGiven ? std::optional(blocksOf(sent[last])[i]) : std::nullopt)
          << blocksGiven << " blocks given, block " << i;
    }
  }
}

}  // namespace
}  // namespace tavimor::mpx
