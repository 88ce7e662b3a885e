// SPDX-License-Identifier: GPL-3.0-or-later
// The demo station's schedule, read back from the groups it sends at given moments on air.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tools/feed/demo_station.h"

namespace tavimor::feed {
namespace {

using namespace std::chrono;

const sys_seconds kStart = sys_days{2024y / 2 / 29} + 23h + 58min + 56s;

// The first group on air at or after the given second.
std::uint64_t indexAt(seconds airTime) {
  return (static_cast<std::uint64_t>(airTime.count()) * kGroupsPerMinute + 59) / 60;
}

std::string groupType(const RdsGroup& group) {
  return std::to_string(group.b >> 12) + ((group.b & 0x0800) != 0 ? "B" : "A");
}

unsigned pty(const RdsGroup& group) {
  return group.b >> 5 & 0x1F;
}
bool bit(std::uint16_t block, int position) {
  return (block >> position & 1) != 0;
}

struct Moment {
  seconds airTime;
  bool trafficAnnouncement;
  bool textB;
  std::size_t radioText;
};

std::ostream& operator<<(std::ostream& out, const Moment& moment) {
  return out << moment.airTime.count() << " s on air";
}

class DemoScheduleTest : public ::testing::TestWithParam<Moment> {};

// Checks the dozen groups that follow the moment, about one second on air.
TEST_P(DemoScheduleTest, FlagsAndTextFollowTheClock) {
  const Moment& moment = GetParam();
  const DemoStation station(kStart);
  const std::string text = demo::radioText(moment.radioText);
  const unsigned expectedPty =
      moment.trafficAnnouncement ? demo::kAnnouncementPty : demo::kMusicPty;

  for (std::uint64_t i = indexAt(moment.airTime); i < indexAt(moment.airTime) + 12; ++i) {
    const RdsGroup group = station.groupAt(i);
    SCOPED_TRACE("group " + std::to_string(i) + " " + groupType(group));
    EXPECT_EQ(group.a, demo::kPi);
    EXPECT_TRUE(bit(group.b, 10)) << "TP";
    EXPECT_EQ(pty(group), expectedPty);
    if (groupType(group) == "0A" || groupType(group) == "15B") {
      EXPECT_EQ(bit(group.b, 4), moment.trafficAnnouncement) << "TA";
      EXPECT_EQ(bit(group.b, 3), !moment.trafficAnnouncement) << "music";
    }
    if (groupType(group) == "2A") {
      EXPECT_EQ(bit(group.b, 4), moment.textB) << "A/B flag";
      const std::size_t segment = group.b & 0xF;
      const std::string chars{static_cast<char>(group.c >> 8), static_cast<char>(group.c & 0xFF),
                              static_cast<char>(group.d >> 8), static_cast<char>(group.d & 0xFF)};
      EXPECT_EQ(chars, text.substr(4 * segment, 4));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Demo, DemoScheduleTest,
    ::testing::Values(Moment{0s, false, false, 0}, Moment{18s, false, false, 0},
                      Moment{20s, false, true, 1}, Moment{25s, true, true, 1},
                      Moment{33s, true, true, 1}, Moment{35s, false, true, 1},
                      Moment{40s, false, false, 2}, Moment{66s, true, true, 3},
                      Moment{81s, false, false, 0}, Moment{745s, true, true, 1},
                      Moment{765s, false, false, 2}),
    [](const auto& info) { return "At" + std::to_string(info.param.airTime.count()) + "s"; });

TEST(DemoStation, EverySecondOrSoCarriesTheWholeNameAndTheFourDecoderFlags) {
  const DemoStation station(kStart);
  for (const std::uint64_t first : {0u, 12u, 1200u}) {
    std::map<unsigned, RdsGroup> bySegment;
    for (std::uint64_t i = first; i < first + 12; ++i) {
      const RdsGroup group = station.groupAt(i);
      if (groupType(group) == "0A") bySegment[group.b & 0x3] = group;
    }
    ASSERT_EQ(bySegment.size(), 4u);
    std::string name;
    for (const auto& [segment, group] : bySegment) {
      name += static_cast<char>(group.d >> 8);
      name += static_cast<char>(group.d & 0xFF);
    }
    EXPECT_EQ(name, demo::kPsName);
    // Dynamic PTY and stereo on, compressed and artificial head off.
    EXPECT_TRUE(bit(bySegment[0].b, 2));
    EXPECT_FALSE(bit(bySegment[1].b, 2));
    EXPECT_FALSE(bit(bySegment[2].b, 2));
    EXPECT_TRUE(bit(bySegment[3].b, 2));
    // Two alternative frequencies, method A: 224 + 2, 94.3 MHz; 101.7 MHz, filler.
    EXPECT_EQ(bySegment[0].c, 0xE244);
    EXPECT_EQ(bySegment[1].c, 0x8ECD);
  }
}

TEST(DemoStation, EachTextIsSentWholeLongBeforeItChangesAndUsesTheRdsTable) {
  const DemoStation station(kStart);
  for (std::size_t text = 0; text < demo::kRadioTextCount; ++text) {
    std::set<unsigned> segments;
    const seconds start = demo::kTextPeriod * static_cast<int>(text);
    // Five seconds on air: the monitor commits a text after 30 groups 2A of the same flag.
    for (std::uint64_t i = indexAt(start); i < indexAt(start + 5s); ++i) {
      const RdsGroup group = station.groupAt(i);
      if (groupType(group) == "2A") segments.insert(group.b & 0xF);
    }
    EXPECT_EQ(segments.size(), 16u) << "text " << text;
  }
  const std::string first = demo::radioText(0);
  EXPECT_NE(first.find('\x97'), std::string::npos);  // ö
  EXPECT_NE(first.find('\xDB'), std::string::npos);  // č
  for (std::size_t text = 0; text < demo::kRadioTextCount; ++text) {
    EXPECT_EQ(demo::radioText(text).size(), 64u);
  }
}

TEST(DemoStation, TheGroupMixHoldsOverAnHour) {
  const DemoStation station(kStart);
  std::map<std::string, std::uint64_t> counts;
  for (std::uint64_t i = 0; i < 60 * kGroupsPerMinute; ++i)
    ++counts[groupType(station.groupAt(i))];

  const std::uint64_t runs = 60 * kGroupsPerMinute / 12;
  EXPECT_EQ(counts["0A"], 4 * runs);
  EXPECT_EQ(counts["2A"], 6 * runs);
  EXPECT_EQ(counts["15B"], runs);
  // One clock time a minute, plus one at the start: the station started four seconds before a
  // minute began.
  EXPECT_EQ(counts["4A"], 61u);
  EXPECT_EQ(counts["1A"], runs - 61);
  EXPECT_EQ(counts.size(), 5u);
}

struct ClockTime {
  unsigned modifiedJulianDay;
  unsigned hour;
  unsigned minute;
  bool operator==(const ClockTime&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ClockTime& time) {
  return out << "MJD " << time.modifiedJulianDay << ' ' << time.hour << ':' << time.minute;
}

TEST(DemoStation, ClockTimeComesAtTheStartOfEachMinuteAndCrossesMidnight) {
  const DemoStation station(kStart);
  std::vector<ClockTime> times;
  for (std::uint64_t i = 0; i < 3 * kGroupsPerMinute; ++i) {
    const RdsGroup group = station.groupAt(i);
    if (groupType(group) != "4A") continue;
    const auto airTime = DemoStation::airTime(i);
    // The clock's minute began less than a run of twelve groups before.
    if (i > 12) {
      EXPECT_LT((kStart + airTime).time_since_epoch() % 1min, 1100ms) << i;
    }
    times.push_back({static_cast<unsigned>((group.b & 0x3) << 15 | group.c >> 1),
                     static_cast<unsigned>((group.c & 1) << 4 | group.d >> 12),
                     static_cast<unsigned>(group.d >> 6 & 0x3F)});
    EXPECT_EQ(group.d & 0x3F, 0) << "local time offset";
  }
  // 29 February 2024 is MJD 60369, the day after it MJD 60370.
  EXPECT_EQ(times, (std::vector<ClockTime>{
                       {60369, 23, 58}, {60369, 23, 59}, {60370, 0, 0}, {60370, 0, 1}}));
}

TEST(DemoStation, SlowLabellingAndFastTuningGroupsCarryTheirOwnFields) {
  const DemoStation station(kStart);
  const RdsGroup slowLabelling = station.groupAt(12 + 4);
  ASSERT_EQ(groupType(slowLabelling), "1A");
  EXPECT_EQ(slowLabelling.c, demo::kExtendedCountryCode);
  // Programme item number: day 29, hour 23, minute 0.
  EXPECT_EQ(slowLabelling.d, 29 << 11 | 23 << 6);

  const RdsGroup fastTuning = station.groupAt(10);
  ASSERT_EQ(groupType(fastTuning), "15B");
  EXPECT_EQ(fastTuning.c, demo::kPi);
  EXPECT_EQ(fastTuning.d, fastTuning.b);
}

}  // namespace
}  // namespace tavimor::feed
