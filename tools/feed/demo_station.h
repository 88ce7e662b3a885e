// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in demo station: an invented broadcaster whose every field moves, so that the monitor
// can be tried without a receiver. Its schedule is a pure function of the group's place on air.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/rds_group.h"
#include "dsp/constants.h"

namespace tavimor::feed {

// A station sends about 11.4 groups per second.
inline constexpr double kRdsGroupsPerSecond = dsp::kGroupsPerSecond;
inline constexpr std::uint64_t kGroupsPerMinute = 684;

namespace demo {

inline constexpr std::uint16_t kPi = 0xC5A3;
inline constexpr std::string_view kPsName = "ORVENTA ";
inline constexpr unsigned kMusicPty = 10;        // Pop Music
inline constexpr unsigned kAnnouncementPty = 3;  // Information
inline constexpr std::uint8_t kExtendedCountryCode = 0xE3;
// Alternative frequencies 94.3 and 101.7 MHz as codes (MHz - 87.5) / 0.1.
inline constexpr std::uint8_t kAlternativeFrequency1 = 68;
inline constexpr std::uint8_t kAlternativeFrequency2 = 142;

// A new RadioText every 20 s, with the A/B flag toggled; four texts in turn.
inline constexpr std::chrono::seconds kTextPeriod{20};
inline constexpr std::size_t kRadioTextCount = 4;
// A traffic announcement from 25 s to 35 s of every 40 s: TA set, speech, PTY Information.
inline constexpr std::chrono::seconds kAnnouncementPeriod{40};
inline constexpr std::chrono::seconds kAnnouncementStart{25};
inline constexpr std::chrono::seconds kAnnouncementEnd{35};

// Text i padded to the 64 characters of a RadioText, in the RDS character table.
std::string radioText(std::size_t i);

}  // namespace demo

class DemoStation {
 public:
  // startTime is the clock time of the first group, sent in the clock-time groups.
  explicit DemoStation(std::chrono::sys_seconds startTime) : startTime_(startTime) {}

  // Group n goes on air n / kRdsGroupsPerSecond s after the start, whatever pace the feeder plays
  // it at.
  static std::chrono::milliseconds airTime(std::uint64_t index);

  // In each run of 12 groups: four 0A carrying the whole PS and the four DI flags, six 2A, one 1A
  // (4A instead in the run where a new minute begins) and one 15B.
  RdsGroup groupAt(std::uint64_t index) const;

 private:
  std::chrono::sys_seconds startTime_;
};

}  // namespace tavimor::feed
