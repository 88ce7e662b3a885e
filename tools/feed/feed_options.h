// SPDX-License-Identifier: GPL-3.0-or-later
// The feeder's command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/feed/demo_station.h"

namespace tavimor::feed {

// A timed replay waits no longer than this between two groups, unless told otherwise.
inline constexpr std::chrono::milliseconds kDefaultMaxGap{5000};

// Raw multiplex samples come at the rate rtl_fm is told to give (-s 171k), unless told otherwise.
inline constexpr double kDefaultMpxSampleRate = 171'000.0;
inline constexpr double kMaxMpxSampleRate = 10'000'000.0;
// Raw I/Q comes at the rate rtl_sdr is told to give (-s 1024000), unless told otherwise.
inline constexpr double kDefaultIqSampleRate = 1'024'000.0;

struct FeedOptions {
  std::string device;                    // "-" for standard output
  std::optional<std::string> logFile{};  // "-" for standard input; none for the demo station
  // None: the source's own pace (kRdsGroupsPerSecond, none for live input); 0: as fast as the
  // line takes them.
  std::optional<double> groupsPerSecond{};
  std::optional<std::uint64_t> count{};  // stop after this many groups
  bool strict = false;
  bool timed = false;                                 // at the times of the log's timestamps
  std::optional<std::chrono::milliseconds> maxGap{};  // none: kDefaultMaxGap
  // The input is an FM multiplex signal whose groups are decoded here: logFile names a sound
  // file, or "-" for raw samples on standard input at sampleRate.
  bool mpx = false;
  // The input is the I/Q of a stick tuned near the station, received and decoded here; logFile
  // as for mpx.
  bool iq = false;
  // Of raw samples; none: kDefaultMpxSampleRate or kDefaultIqSampleRate.
  std::optional<double> sampleRate{};
  std::optional<double> offsetHz{};  // of the station's carrier from the I/Q's centre; none: 0
  bool quiet = false;                // no reception status line
  bool hexLines = false;             // hex group log lines instead of packets

  // Whether the groups are decoded here from a signal.
  bool decodes() const { return mpx || iq; }
};

struct HelpRequest {};
struct VersionRequest {};
struct UsageError {
  std::string message;
};

using CommandLine = std::variant<FeedOptions, HelpRequest, VersionRequest, UsageError>;

// arguments excludes the program name.
CommandLine parseCommandLine(const std::vector<std::string_view>& arguments);

std::string usageText(std::string_view programName);

}  // namespace tavimor::feed
