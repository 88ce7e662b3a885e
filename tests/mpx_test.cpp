// SPDX-License-Identifier: GPL-3.0-or-later
// The multiplex decoder on synthesized signals: clean ones decoded bit for bit, the block code's
// corrections, noise alone, and a station that fades out and back.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "mpx/block_code.h"
#include "mpx/mpx_decoder.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/row_name.h"

namespace tavimor::mpx {
namespace {

using testing::MpxSignalOptions;
using testing::PilotTone;
using testing::Programme;

std::vector<DecodedGroup> decodeAll(const std::vector<float>& samples, double rate,
                                    std::size_t chunk = 4096) {
  MpxDecoder decoder(rate);
  std::vector<DecodedGroup> received;
  for (std::size_t i = 0; i < samples.size(); i += chunk) {
    const std::size_t n = std::min(chunk, samples.size() - i);
    decoder.process(std::span<const float>(samples).subspan(i, n),
                    [&](const DecodedGroup& group) { received.push_back(group); });
  }
  return received;
}

// A reception to decode, named for the row.
struct SignalCase {
  const char* name;
  MpxSignalOptions options;
};

class CleanSignal : public ::testing::TestWithParam<SignalCase> {};

// Groups the receiver may spend finding the clock and the blocks.
constexpr std::size_t kLeadIn = 3;
constexpr std::size_t kChecked = 12;

// The sent group whose last bit ended nearest the decoder's end of the group, within a quarter of
// a group.
std::optional<std::size_t> sentIndexOf(const DecodedGroup& group, const testing::MpxSignal& signal,
                                       double rate) {
  const double tolerance = 0.25 * 104.0 / 1187.5 * rate;
  for (std::size_t i = 0; i < signal.groupEnds.size(); ++i)
    if (std::abs(static_cast<double>(group.endSample) - static_cast<double>(signal.groupEnds[i])) <
        tolerance)
      return i;
  return std::nullopt;
}

// Every present block as it was sent.
bool matches(const DecodedGroup& group, const RdsGroup& sent) {
  const std::array<std::uint16_t, 4> blocks{sent.a, sent.b, sent.c, sent.d};
  for (std::size_t i = 0; i < blocks.size(); ++i)
    if (group.blocks[i] && *group.blocks[i] != blocks[i]) return false;
  return true;
}

TEST_P(CleanSignal, GivesEveryGroupBitForBit) {
  const double rate = GetParam().options.sampleRate;
  const std::vector<RdsGroup> sent = testing::randomGroups(kLeadIn + kChecked, 7);
  const testing::MpxSignal signal = testing::synthesizeMpx(sent, GetParam().options);
  std::vector<int> times(sent.size(), 0);
  for (const DecodedGroup& group : decodeAll(signal.samples, rate)) {
    const std::optional<std::size_t> index = sentIndexOf(group, signal, rate);
    ASSERT_TRUE(index) << "a group ending at sample " << group.endSample;
    EXPECT_TRUE(matches(group, sent[*index])) << "group " << *index;
    // The end is known to a third of a millisecond, for the latency a user sees.
    EXPECT_NEAR(static_cast<double>(group.endSample), static_cast<double>(signal.groupEnds[*index]),
                rate * 0.0003)
        << "group " << *index;
    ++times[*index];
    if (*index >= kLeadIn) {
      EXPECT_TRUE(group.complete()) << "group " << *index;
    }
  }
  for (std::size_t i = kLeadIn; i < sent.size(); ++i)
    EXPECT_EQ(times[i], 1) << "group " << i;
}

MpxSignalOptions at(double rate, PilotTone pilot = PilotTone::InPhase,
                    Programme programme = Programme::Silent, double ppm = 0.0) {
  MpxSignalOptions options;
  options.sampleRate = rate;
  options.pilot = pilot;
  options.programme = programme;
  options.clockErrorPpm = ppm;
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, CleanSignal,
    ::testing::Values(
        SignalCase{"At171kHz", at(171'000)}, SignalCase{"At192kHz", at(192'000)},
        SignalCase{"At228kHz", at(228'000)},
        SignalCase{"StereoProgramme", at(171'000, PilotTone::InPhase, Programme::Stereo)},
        SignalCase{"MonoProgrammeWithoutPilot", at(192'000, PilotTone::Absent, Programme::Mono)},
        SignalCase{"PilotInQuadrature", at(228'000, PilotTone::Quadrature, Programme::Stereo)},
        SignalCase{"ClockFast100ppm", at(171'000, PilotTone::InPhase, Programme::Stereo, 100.0)},
        SignalCase{"ClockSlow100ppmWithoutPilot",
                   at(171'000, PilotTone::Absent, Programme::Silent, -100.0)}),
    testing::kRowName);

// The channel symbols of a block sent clean, each as reliable as kClean, with a run of wrong
// symbols of the given reliability: noise and interference make wrong channel symbols, and
// differential decoding turns a run of n of them into a burst of n + 1 bits.
constexpr float kClean = 8.0F;

struct BurstCase {
  const char* name;
  std::size_t firstWrong;  // 0 is the previous block's last symbol
  std::size_t wrongSymbols;
  float reliability;
  bool corrected;
};

class BlockCode : public ::testing::TestWithParam<BurstCase> {};

TEST_P(BlockCode, CorrectsBurstsOfUpToFiveBitsAndPassesNoLongerOneWrong) {
  const BurstCase& row = GetParam();
  for (const std::uint16_t data : {0x0000, 0xD3C2, 0xFFFF, 0x1234}) {
    const std::uint32_t block = blockOf(data, Offset::B);
    std::array<float, kBlockSymbols> symbols{};
    bool value = true;
    symbols[0] = kClean;
    for (std::size_t i = 1; i < kBlockSymbols; ++i) {
      value = value != (((block >> (kBlockSymbols - 1 - i)) & 1U) != 0);
      symbols[i] = value ? kClean : -kClean;
    }
    for (std::size_t i = row.firstWrong; i < row.firstWrong + row.wrongSymbols; ++i)
      symbols[i] = std::copysign(row.reliability, -symbols[i]);

    const std::optional<SoftDecision> decision =
        decideBlock(symbols, kClean, offsetBit(Offset::B), SoftLimits{});
    if (row.corrected) {
      ASSERT_TRUE(decision) << std::hex << data;
      EXPECT_EQ(decision->data, data);
    } else {
      EXPECT_FALSE(decision) << std::hex << data << " taken for " << decision->data;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Bursts, BlockCode,
                         ::testing::Values(BurstCase{"OneBitAtTheStart", 0, 1, 1.0F, true},
                                           BurstCase{"TwoBitsInTheMiddle", 12, 1, 1.0F, true},
                                           BurstCase{"TwoBitsFromAHalfReliableSymbol", 20, 1,
                                                     kClean / 2.0F, true},
                                           BurstCase{"ThreeBitsAtTheEnd", 25, 2, 1.0F, true},
                                           BurstCase{"FourBits", 3, 3, 1.0F, true},
                                           BurstCase{"FiveBitsAtTheStart", 0, 4, 1.0F, true},
                                           BurstCase{"FiveBitsAtTheEnd", 23, 4, 1.0F, true},
                                           BurstCase{"SixBits", 8, 5, 1.0F, false},
                                           BurstCase{"SixConfidentBits", 8, 5, kClean, false},
                                           BurstCase{"EightBits", 2, 7, 1.0F, false},
                                           BurstCase{"TenConfidentBits", 15, 9, kClean, false},
                                           BurstCase{"TwelveBits", 10, 11, 2.0F, false}),
                         testing::kRowName);

// A receiver tuned between stations, or to a station without RDS.
class NoRds : public ::testing::TestWithParam<SignalCase> {};

TEST_P(NoRds, GivesNoGroupInFortySeconds) {
  MpxSignalOptions options = GetParam().options;
  constexpr double kSeconds = 40.0;
  const std::vector<RdsGroup> none(static_cast<std::size_t>(kSeconds * 1187.5 / 104.0));
  options.rdsLevel = 0.0;
  testing::MpxSignal signal = testing::synthesizeMpx(none, options);
  // Noise as strong as around a subcarrier at 4 % received at 0 dB.
  testing::addNoise(signal.samples, 0.04 * 0.04 / 4.0, 0.0, options.sampleRate, 3);
  const std::vector<DecodedGroup> received = decodeAll(signal.samples, options.sampleRate);
  EXPECT_TRUE(received.empty()) << received.size() << " groups";
}

INSTANTIATE_TEST_SUITE_P(Receptions, NoRds,
                         ::testing::Values(SignalCase{"OnlyNoise", at(171'000, PilotTone::Absent)},
                                           SignalCase{
                                               "StereoStationWithoutRds",
                                               at(171'000, PilotTone::InPhase, Programme::Stereo)}),
                         testing::kRowName);

class Fade : public ::testing::TestWithParam<SignalCase> {};

// The station goes for a second and a half, leaving only noise, and comes back.
TEST_P(Fade, IsBridgedAndTheStationPickedUpWithinTwoGroups) {
  MpxSignalOptions options = GetParam().options;
  const double rate = options.sampleRate;
  constexpr double kGone = 2.0;
  constexpr double kBack = 3.5;
  options.snrDb = 10.0;
  options.fades = {{kGone, kBack}};
  const std::vector<RdsGroup> sent = testing::randomGroups(60, 9);
  const testing::MpxSignal signal = testing::synthesizeMpx(sent, options);
  const double groupSamples = 104.0 / 1187.5 * rate;
  std::size_t firstBack = 0;
  while (static_cast<double>(signal.groupEnds[firstBack]) - groupSamples < kBack * rate)
    ++firstBack;
  std::vector<bool> found(sent.size(), false);
  for (const DecodedGroup& group : decodeAll(signal.samples, rate)) {
    const std::optional<std::size_t> index = sentIndexOf(group, signal, rate);
    ASSERT_TRUE(index) << "a group ending at sample " << group.endSample;
    EXPECT_TRUE(matches(group, sent[*index])) << "group " << *index;
    found[*index] = group.complete();
  }
  EXPECT_TRUE(found[firstBack] || found[firstBack + 1]);
  for (std::size_t i = firstBack + 2; i < sent.size(); ++i)
    EXPECT_TRUE(found[i]) << "group " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Receptions, Fade,
    ::testing::Values(SignalCase{"WithPilot", at(171'000, PilotTone::InPhase, Programme::Stereo)},
                      SignalCase{"WithoutPilot", at(228'000, PilotTone::Absent, Programme::Mono)}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor::mpx
