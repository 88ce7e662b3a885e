// SPDX-License-Identifier: GPL-3.0-or-later
// The multiplex decoder on synthesized signals: clean ones decoded bit for bit, the block code's
// corrections, noise alone, and a station that fades out and back.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "mpx/mpx_decoder.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/row_name.h"

namespace tavimor::mpx {
namespace {

using testing::MpxSignalOptions;
using testing::PilotTone;
using testing::Programme;

struct Received {
  std::vector<DecodedGroup> groups;
};

Received decodeAll(const std::vector<float>& samples, double rate, std::size_t chunk = 4096) {
  MpxDecoder decoder(rate);
  Received received;
  for (std::size_t i = 0; i < samples.size(); i += chunk) {
    const std::size_t n = std::min(chunk, samples.size() - i);
    decoder.process(std::span<const float>(samples).subspan(i, n),
                    [&](const DecodedGroup& group) { received.groups.push_back(group); });
  }
  return received;
}

struct CleanCase {
  const char* name;
  MpxSignalOptions options;
};

class CleanSignal : public ::testing::TestWithParam<CleanCase> {};

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
  const Received received = decodeAll(signal.samples, rate);

  std::vector<int> times(sent.size(), 0);
  for (const DecodedGroup& group : received.groups) {
    const std::optional<std::size_t> index = sentIndexOf(group, signal, rate);
    ASSERT_TRUE(index) << "a group ending at sample " << group.endSample;
    EXPECT_TRUE(matches(group, sent[*index])) << "group " << *index;
    // The end is known to a millisecond, for the latency a user sees.
    EXPECT_NEAR(static_cast<double>(group.endSample), static_cast<double>(signal.groupEnds[*index]),
                rate * 0.001)
        << "group " << *index;
    ++times[*index];
    if (*index >= kLeadIn) EXPECT_TRUE(group.complete()) << "group " << *index;
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
        CleanCase{"At171kHz", at(171'000)}, CleanCase{"At192kHz", at(192'000)},
        CleanCase{"At228kHz", at(228'000)},
        CleanCase{"StereoProgramme", at(171'000, PilotTone::InPhase, Programme::Stereo)},
        CleanCase{"MonoProgrammeWithoutPilot", at(192'000, PilotTone::Absent, Programme::Mono)},
        CleanCase{"PilotInQuadrature", at(228'000, PilotTone::Quadrature, Programme::Stereo)},
        CleanCase{"ClockFast100ppm", at(171'000, PilotTone::InPhase, Programme::Stereo, 100.0)},
        CleanCase{"ClockSlow100ppmWithoutPilot",
                  at(171'000, PilotTone::Absent, Programme::Silent, -100.0)}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor::mpx
