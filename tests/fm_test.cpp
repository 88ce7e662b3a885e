// SPDX-License-Identifier: GPL-3.0-or-later
// The FM receiver on a stick's synthesized 8-bit I/Q, through the receiver chain: clean and echoed
// receptions decoded group for group, one station picked out of two, the same multiplex however
// the I/Q is cut into writes, and the rates and offsets it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "fm/fm_receiver.h"
#include "receiver/receiver_chain.h"
#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/row_name.h"

namespace tavimor::fm {
namespace {

// Groups the receiver may spend on the equalizer and the decoder finding the station.
constexpr std::size_t kLeadIn = 5;
constexpr std::size_t kChecked = 10;
constexpr double kRmsLevel = 0.25;

struct SentStation {
  std::vector<RdsGroup> groups;
  testing::MpxSignal multiplex;
};

SentStation station(double iqRate, std::uint32_t seed,
                    testing::Programme programme = testing::Programme::Stereo,
                    std::size_t groups = kLeadIn + kChecked) {
  testing::MpxSignalOptions options;
  options.sampleRate = iqRate;
  options.programme = programme;
  options.seed = seed;
  SentStation made{testing::randomGroups(groups, seed), {}};
  made.multiplex = testing::synthesizeMpx(made.groups, options);
  return made;
}

// As the stick delivers it: noise at the CNR against both paths' power, 8-bit samples.
std::vector<std::complex<float>> stick(std::vector<std::complex<float>> iq, double iqRate,
                                       double cnrDb, double carrierPower) {
  testing::addCarrierNoise(iq, carrierPower, cnrDb, iqRate, 3);
  return testing::fromUnsigned8(testing::toUnsigned8(iq, kRmsLevel));
}

struct Reception {
  std::vector<mpx::DecodedGroup> groups;
  // A group's end in I/Q samples.
  std::vector<double> iqEnds;
  CarrierStatus status;
};

constexpr std::size_t kWrite = 16'384;

double meanSquare(std::span<const float> samples) {
  double sum = 0.0;
  for (const float sample : samples)
    sum += static_cast<double>(sample) * sample;
  return sum / static_cast<double>(samples.size());
}

Reception receive(const std::vector<std::complex<float>>& iq, double iqRate, double offsetHz) {
  receiver::ReceiverChain chain(
      {.kind = receiver::SignalKind::Iq, .sampleRate = iqRate, .offsetHz = offsetHz});
  Reception result;
  for (std::size_t i = 0; i < iq.size(); i += kWrite) {
    chain.process(std::span(iq).subspan(i, std::min(kWrite, iq.size() - i)),
                  [&](const receiver::TimedGroup& timed) {
                    result.groups.push_back(timed.group);
                    result.iqEnds.push_back(timed.endSeconds * iqRate);
                  });
  }
  result.status = chain.status().carrier.value();
  return result;
}

// The FM receiver's multiplex, written `write` samples at a time.
std::vector<float> multiplexOf(const std::vector<std::complex<float>>& iq, double iqRate,
                               double offsetHz, std::size_t write = kWrite) {
  FmReceiver receiver(iqRate, offsetHz);
  std::vector<float> multiplex;
  for (std::size_t i = 0; i < iq.size(); i += write)
    receiver.process(std::span(iq).subspan(i, std::min(write, iq.size() - i)), multiplex);
  return multiplex;
}

struct ReceptionCase {
  const char* name;
  testing::Programme programme;
  double iqRate;
  double offsetHz;
  std::vector<testing::Echo> echoes;
  // The stick's own DC, against the carrier's amplitude of 1: the channel holds it when the
  // station lies off centre, and it can be stronger than a weak station.
  std::complex<float> dc;
  bool equalizing;
};

class Receives : public ::testing::TestWithParam<ReceptionCase> {};

TEST_P(Receives, EveryGroupAfterTheLeadInWhereItEnded) {
  const ReceptionCase& row = GetParam();
  const SentStation sent = station(row.iqRate, 7, row.programme);
  double carrierPower = 1.0;
  for (const testing::Echo& echo : row.echoes)
    carrierPower += echo.amplitude * echo.amplitude;
  std::vector<std::complex<float>> iq = testing::modulateFm(
      sent.multiplex.samples, row.iqRate, {.carrierOffsetHz = row.offsetHz, .echoes = row.echoes});
  for (std::complex<float>& sample : iq)
    sample += row.dc;
  iq = stick(std::move(iq), row.iqRate, 40.0, carrierPower);
  const Reception received = receive(iq, row.iqRate, row.offsetHz);
  std::vector<int> times(sent.groups.size(), 0);
  // The decoder places a group's end within a tenth of a millisecond or so; a quarter leaves room
  // for that but not for a delay counted the wrong way.
  const double tolerance = 0.00025 * row.iqRate;
  for (std::size_t g = 0; g < received.groups.size(); ++g) {
    for (std::size_t i = kLeadIn; i < sent.groups.size(); ++i) {
      if (std::abs(received.iqEnds[g] - static_cast<double>(sent.multiplex.groupEnds[i])) >
          tolerance)
        continue;
      ++times[i];
      EXPECT_TRUE(received.groups[g].complete()) << "group " << i;
      EXPECT_EQ(received.groups[g].group(), sent.groups[i]) << "group " << i;
    }
  }
  for (std::size_t i = kLeadIn; i < sent.groups.size(); ++i)
    EXPECT_EQ(times[i], 1) << "group " << i << " is not reported once where it ended";
  EXPECT_EQ(received.status.equalizing, row.equalizing);
  // 75 kHz of deviation is 1 in the multiplex as in the station's.
  const std::vector<float> multiplex = multiplexOf(iq, row.iqRate, row.offsetHz);
  const double multiplexRate = FmReceiver(row.iqRate, row.offsetHz).multiplexRate();
  const double receivedPower =
      meanSquare(std::span(multiplex).subspan(static_cast<std::size_t>(multiplexRate)));
  const double sentPower =
      meanSquare(std::span(sent.multiplex.samples).subspan(static_cast<std::size_t>(row.iqRate)));
  EXPECT_NEAR(10.0 * std::log10(receivedPower / sentPower), 0.0, 0.5);
  // The stick's samples hold kRmsLevel squared of power, the carrier's share of it in the channel.
  EXPECT_NEAR(received.status.levelDbfs,
              20.0 * std::log10(kRmsLevel) +
                  10.0 * std::log10(carrierPower / (carrierPower + std::norm(row.dc))),
              1.0);
}

constexpr double kPi = std::numbers::pi;

constexpr auto kStereo = testing::Programme::Stereo;

INSTANTIATE_TEST_SUITE_P(
    Stick, Receives,
    ::testing::Values(
        // Without programme the carrier is nearly a line, at the stick's DC.
        ReceptionCase{"QuietAtCentre", testing::Programme::Silent, 1'024'000.0, 0.0, {}, {}, false},
        ReceptionCase{"OffCentreAt2400kHz", kStereo, 2'400'000.0, -310'000.0, {}, {}, false},
        ReceptionCase{"DcOfTheStickStrongerInTheChannel",
                      kStereo,
                      1'024'000.0,
                      60'000.0,
                      {},
                      {0.9F, -1.2F},
                      false},
        ReceptionCase{
            "Echo8usAtSevenTenths", kStereo, 1'024'000.0, 0.0, {{8e-6, 0.7, kPi / 2.0}}, {}, true},
        // Below the centre, the stick's DC lies in the channel above the station.
        ReceptionCase{"Echo20usAtHalfBelowTheCentreBesideTheDc",
                      kStereo,
                      1'024'000.0,
                      -90'000.0,
                      {{20e-6, 0.5, kPi}},
                      {0.9F, -1.2F},
                      true}),
    testing::kRowName);

// Two stations 300 kHz apart in one recording, the upper 10 dB the stronger: each offset gives
// its own station's PI only.
TEST(FmReceiver, PicksTheStationAtItsOffset) {
  constexpr double kRate = 1'024'000.0;
  constexpr double kApart = 150'000.0;
  constexpr float kStronger = 3.16F;
  const SentStation lower = station(kRate, 21);
  const SentStation upper = station(kRate, 22);
  ASSERT_NE(lower.groups[0].a, upper.groups[0].a);
  std::vector<std::complex<float>> iq = testing::modulateFm(
      lower.multiplex.samples, kRate, {.carrierOffsetHz = -kApart, .echoes = {}});
  const std::vector<std::complex<float>> other = testing::modulateFm(
      upper.multiplex.samples, kRate, {.carrierOffsetHz = kApart, .echoes = {}});
  iq.resize(std::min(iq.size(), other.size()));
  for (std::size_t n = 0; n < iq.size(); ++n)
    iq[n] += kStronger * other[n];
  iq = stick(std::move(iq), kRate, 40.0, 1.0);
  for (const SentStation* wanted : {&lower, &upper}) {
    const double offset = wanted == &lower ? -kApart : kApart;
    const Reception received = receive(iq, kRate, offset);
    std::size_t complete = 0;
    for (const mpx::DecodedGroup& group : received.groups) {
      EXPECT_EQ(group.blocks[0].value_or(wanted->groups[0].a), wanted->groups[0].a)
          << "at " << offset << " Hz";
      complete += group.complete() ? 1 : 0;
    }
    EXPECT_GE(complete, kChecked) << "at " << offset << " Hz";
  }
}

// Near the FM threshold the noise must not draw the equalizer away from a clean channel: held at
// the pass-through it keeps about 60 % of the groups at 12 dB, drawn into a low-pass about 20 %.
TEST(FmReceiver, KeepsMostGroupsOfACleanChannelNearTheThreshold) {
  constexpr double kRate = 1'024'000.0;
  constexpr std::size_t kGroups = 200;
  const SentStation sent = station(kRate, 7, testing::Programme::Stereo, kGroups);
  const Reception received = receive(
      stick(testing::modulateFm(sent.multiplex.samples, kRate, {}), kRate, 12.0, 1.0), kRate, 0.0);
  std::size_t complete = 0;
  for (const mpx::DecodedGroup& group : received.groups)
    complete += group.complete() ? 1 : 0;
  EXPECT_GE(complete, kGroups * 2 / 5) << complete << " of " << kGroups;
}

// A damaged stretch of a recording costs the groups it covers, not the rest.
TEST(FmReceiver, GoesOnAfterSamplesThatAreNotNumbers) {
  constexpr double kRate = 1'024'000.0;
  const SentStation sent = station(kRate, 7);
  std::vector<std::complex<float>> iq =
      stick(testing::modulateFm(sent.multiplex.samples, kRate, {}), kRate, 40.0, 1.0);
  const std::size_t damaged = sent.multiplex.groupEnds[kLeadIn];
  for (std::size_t n = damaged; n < damaged + 1'000; ++n)
    iq[n] = {n % 2 == 0 ? NAN : INFINITY, -INFINITY};
  const Reception received = receive(iq, kRate, 0.0);
  // From the second group after the damage on.
  const double from = (static_cast<double>(sent.multiplex.groupEnds[kLeadIn + 1]) +
                       static_cast<double>(sent.multiplex.groupEnds[kLeadIn + 2])) /
                      2.0;
  std::size_t after = 0;
  for (std::size_t g = 0; g < received.groups.size(); ++g)
    if (received.iqEnds[g] > from) after += received.groups[g].complete() ? 1 : 0;
  EXPECT_EQ(after, kChecked - 2);
}

// A station off the centre, beside the stick's DC: every stage that keeps state across writes
// (the DC, the mixer's phase, the level, the filters, the equalizer) gives the same multiplex,
// sample for sample, however the I/Q is cut.
TEST(FmReceiver, GivesTheSameMultiplexInWritesOfAnySize) {
  constexpr double kRate = 1'024'000.0;
  constexpr double kOffset = -123'456.7;
  const SentStation sent = station(kRate, 7, testing::Programme::Stereo, 4);
  std::vector<std::complex<float>> iq = testing::modulateFm(
      sent.multiplex.samples, kRate, {.carrierOffsetHz = kOffset, .echoes = {{8e-6, 0.5, 1.0}}});
  for (std::complex<float>& sample : iq)
    sample += std::complex<float>(0.3F, -0.2F);
  iq = stick(std::move(iq), kRate, 20.0, 1.25);
  const std::vector<float> reference = multiplexOf(iq, kRate, kOffset);
  for (const std::size_t write : {1, 333, 4'096, 100'000}) {
    const std::vector<float> multiplex = multiplexOf(iq, kRate, kOffset, write);
    ASSERT_EQ(multiplex.size(), reference.size()) << "in writes of " << write;
    const auto differs = std::ranges::mismatch(multiplex, reference);
    EXPECT_EQ(differs.in1, multiplex.end())
        << "in writes of " << write << ", from sample " << differs.in1 - multiplex.begin();
  }
}

struct SettingCase {
  const char* name;
  double iqRate;
  double offsetHz;
  bool accepted;
};

class Settings : public ::testing::TestWithParam<SettingCase> {};

TEST_P(Settings, AreRefusedWithAReasonUnlessTheChannelFits) {
  const SettingCase& row = GetParam();
  if (row.accepted) {
    EXPECT_NO_THROW(FmReceiver(row.iqRate, row.offsetHz));
    return;
  }
  try {
    FmReceiver receiver(row.iqRate, row.offsetHz);
    ADD_FAILURE() << "accepted";
  } catch (const std::invalid_argument& refused) {
    EXPECT_NE(std::string(refused.what()), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndOffsets, Settings,
    ::testing::Values(SettingCase{"LowestRate", 900'000.0, 0.0, true},
                      SettingCase{"HighestRate", 3'200'000.0, 0.0, true},
                      SettingCase{"RateTooLow", 899'999.0, 0.0, false},
                      SettingCase{"RateTooHigh", 3'200'001.0, 0.0, false},
                      SettingCase{"RateNotANumber", NAN, 0.0, false},
                      SettingCase{"ChannelAtTheBandsUpperEdge", 1'024'000.0, 412'000.0, true},
                      SettingCase{"ChannelBeyondTheUpperEdge", 1'024'000.0, 412'001.0, false},
                      SettingCase{"ChannelBeyondTheLowerEdge", 1'024'000.0, -412'001.0, false},
                      SettingCase{"OffsetNotANumber", 1'024'000.0, NAN, false}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor::fm
