// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/demo_station.h"

#include <algorithm>
#include <array>

namespace tavimor::feed {
namespace demo {
namespace {

constexpr std::size_t kRadioTextLength = 64;

// Bytes 0x80 to 0xFE are from the RDS character table: 0x97 is ö, 0xDB č and 0x91 ä.
constexpr std::array<std::string_view, kRadioTextCount> kRadioTexts{
    "Now playing: Ilse Br\x97nholm & the Kova\xDB Trio - Summer in L\x91nde",
    "Traffic: roadworks on the Orvin ring road, expect short delays",
    "Orventa FM on 94.3 and 101.7 MHz - music, and news every hour",
    "Traffic: the valley tunnel is open again in both directions",
};
static_assert(std::ranges::all_of(kRadioTexts, [](std::string_view text) {
  return text.size() <= kRadioTextLength;
}));

char radioTextCharacter(std::size_t text, std::size_t position) {
  const std::string_view chars = kRadioTexts[text];
  return position < chars.size() ? chars[position] : ' ';
}

}  // namespace

std::string radioText(std::size_t i) {
  std::string text(kRadioTexts.at(i));
  text.resize(kRadioTextLength, ' ');
  return text;
}

}  // namespace demo

namespace {

using std::chrono::milliseconds;

enum class Slot { ServiceName, RadioText, SlowLabelling, FastTuning };

constexpr std::array<Slot, 12> kRun{
    Slot::ServiceName,   Slot::RadioText, Slot::ServiceName, Slot::RadioText,
    Slot::SlowLabelling, Slot::RadioText, Slot::ServiceName, Slot::RadioText,
    Slot::ServiceName,   Slot::RadioText, Slot::FastTuning,  Slot::RadioText,
};
constexpr std::uint64_t kRadioTextSlotsPerRun = 6;
constexpr std::uint64_t kRadioTextSegments = 16;

// DI flags by segment address: dynamic PTY, compressed, artificial head, stereo.
constexpr std::array<bool, 4> kDecoderIdentification{true, false, false, true};

// What the station is doing at the moment a group goes on air.
struct OnAir {
  std::chrono::sys_time<milliseconds> clock;
  bool announcement = false;
  std::size_t textNumber = 0;  // counts every text change since the start

  unsigned pty() const { return announcement ? demo::kAnnouncementPty : demo::kMusicPty; }
  bool music() const { return !announcement; }
  bool textB() const { return textNumber % 2 == 1; }
  std::size_t radioText() const { return textNumber % demo::kRadioTextCount; }
};

OnAir onAirAt(std::chrono::sys_seconds startTime, milliseconds airTime) {
  const milliseconds intoPeriod = airTime % demo::kAnnouncementPeriod;
  return {startTime + airTime,
          intoPeriod >= demo::kAnnouncementStart && intoPeriod < demo::kAnnouncementEnd,
          static_cast<std::size_t>(airTime / demo::kTextPeriod)};
}

// How many slots of the same kind come before this one in the run.
std::uint64_t rankInRun(std::size_t slot) {
  return static_cast<std::uint64_t>(
      std::count(kRun.begin(), kRun.begin() + static_cast<std::ptrdiff_t>(slot), kRun[slot]));
}

// Block B's group type, version, TP (always on: the station carries traffic information) and PTY.
std::uint16_t blockBHead(unsigned groupType, bool versionB, const OnAir& onAir) {
  return static_cast<std::uint16_t>(groupType << 12 | unsigned{versionB} << 11 | 1u << 10 |
                                    onAir.pty() << 5);
}

// TA, M/S, one DI flag and its segment address: the low five bits of block B in 0A and 15B.
std::uint16_t switchingBits(const OnAir& onAir, unsigned segment) {
  return static_cast<std::uint16_t>(unsigned{onAir.announcement} << 4 |
                                    unsigned{onAir.music()} << 3 |
                                    unsigned{kDecoderIdentification[segment]} << 2 | segment);
}

std::uint16_t blockOf(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint16_t pairOf(char high, char low) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(high) << 8 |
                                    static_cast<unsigned char>(low));
}

RdsGroup serviceNameGroup(const OnAir& onAir, unsigned segment) {
  // Alternative frequencies, method A: "two follow", the first, then the second and a filler.
  constexpr std::uint8_t kTwoFrequencies = 224 + 2;
  constexpr std::uint8_t kFiller = 205;
  const std::uint16_t frequencies = segment % 2 == 0
                                        ? blockOf(kTwoFrequencies, demo::kAlternativeFrequency1)
                                        : blockOf(demo::kAlternativeFrequency2, kFiller);
  return {
      demo::kPi,
      static_cast<std::uint16_t>(blockBHead(0, false, onAir) | switchingBits(onAir, segment)),
      frequencies,
      pairOf(demo::kPsName[2 * std::size_t{segment}], demo::kPsName[2 * std::size_t{segment} + 1])};
}

RdsGroup radioTextGroup(const OnAir& onAir, unsigned segment) {
  const std::size_t text = onAir.radioText();
  const std::size_t first = 4 * std::size_t{segment};
  const auto blockB = static_cast<std::uint16_t>(blockBHead(2, false, onAir) |
                                                 unsigned{onAir.textB()} << 4 | segment);
  return {
      demo::kPi, blockB,
      pairOf(demo::radioTextCharacter(text, first), demo::radioTextCharacter(text, first + 1)),
      pairOf(demo::radioTextCharacter(text, first + 2), demo::radioTextCharacter(text, first + 3))};
}

// Extended country code, and the programme item number: the current hour's programme began on
// the hour.
RdsGroup slowLabellingGroup(const OnAir& onAir) {
  using namespace std::chrono;
  const auto day = floor<days>(onAir.clock);
  const auto dayOfMonth = unsigned{year_month_day{day}.day()};
  const auto hour = static_cast<unsigned>(floor<hours>(onAir.clock - day).count());
  return {demo::kPi, blockBHead(1, false, onAir), demo::kExtendedCountryCode,
          static_cast<std::uint16_t>(dayOfMonth << 11 | hour << 6)};
}

// Clock time in UTC, with a local time offset of zero.
RdsGroup clockTimeGroup(const OnAir& onAir) {
  using namespace std::chrono;
  const auto day = floor<days>(onAir.clock);
  const hh_mm_ss time{floor<minutes>(onAir.clock - day)};
  const auto modifiedJulianDay = static_cast<unsigned>((day - sys_days{1858y / 11 / 17}).count());
  const auto hour = static_cast<unsigned>(time.hours().count());
  const auto minute = static_cast<unsigned>(time.minutes().count());
  return {demo::kPi,
          static_cast<std::uint16_t>(blockBHead(4, false, onAir) | (modifiedJulianDay >> 15 & 0x3)),
          static_cast<std::uint16_t>((modifiedJulianDay & 0x7FFF) << 1 | hour >> 4),
          static_cast<std::uint16_t>((hour & 0xF) << 12 | minute << 6)};
}

// Group 15B repeats block B in block D and PI in block C.
RdsGroup fastTuningGroup(const OnAir& onAir, unsigned segment) {
  const auto blockB =
      static_cast<std::uint16_t>(blockBHead(15, true, onAir) | switchingBits(onAir, segment));
  return {demo::kPi, blockB, demo::kPi, blockB};
}

}  // namespace

milliseconds DemoStation::airTime(std::uint64_t index) {
  return milliseconds(static_cast<milliseconds::rep>(index * 60'000 / kGroupsPerMinute));
}

RdsGroup DemoStation::groupAt(std::uint64_t index) const {
  const OnAir onAir = onAirAt(startTime_, airTime(index));
  const std::uint64_t run = index / kRun.size();
  const std::size_t slot = index % kRun.size();
  const std::uint64_t rank = rankInRun(slot);
  switch (kRun[slot]) {
    case Slot::ServiceName:
      return serviceNameGroup(onAir, static_cast<unsigned>(rank));
    case Slot::RadioText:
      return radioTextGroup(
          onAir, static_cast<unsigned>((run * kRadioTextSlotsPerRun + rank) % kRadioTextSegments));
    case Slot::SlowLabelling: {
      // Clock time once a minute, in the first run after the minute begins.
      const auto minuteOf = [&](std::uint64_t i) {
        return std::chrono::floor<std::chrono::minutes>(startTime_ + airTime(i));
      };
      const bool newMinute =
          index < kRun.size() || minuteOf(index) != minuteOf(index - kRun.size());
      return newMinute ? clockTimeGroup(onAir) : slowLabellingGroup(onAir);
    }
    case Slot::FastTuning:
      return fastTuningGroup(onAir, static_cast<unsigned>(run % 4));
  }
  return {};
}

}  // namespace tavimor::feed
