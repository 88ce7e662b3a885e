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
// A band scan reads a tuner at the rate that covers the most of the band a stick holds steady.
inline constexpr double kDefaultScanDeviceRate = 2'048'000.0;
// The FM broadcast band a tuner's scan hops across, unless told otherwise.
inline constexpr double kDefaultScanFromHz = 87'500'000.0;
inline constexpr double kDefaultScanToHz = 108'000'000.0;

// A tuner read through SoapySDR.
struct DeviceChoice {
  // SoapySDR's device arguments, as "driver=rtlsdr,serial=1"; empty: the only device found.
  std::string args;
  std::optional<double> gainDb{};  // none: the tuner's automatic gain
  double ppm = 0.0;                // the tuner's frequency correction
  bool operator==(const DeviceChoice&) const = default;
};

// The built-in demo station.
struct DemoInput {
  bool operator==(const DemoInput&) const = default;
};
// A hex group log, "-" for standard input.
struct LogInput {
  std::string path;
  bool operator==(const LogInput&) const = default;
};
// An FM multiplex signal decoded here: a sound file, or "-" for raw samples on standard input.
struct MultiplexInput {
  std::string path;
  std::optional<double> rate{};  // of raw samples; none: kDefaultMpxSampleRate
  bool operator==(const MultiplexInput&) const = default;
};
// The I/Q of a tuner near the station, received and decoded here: a sound file, or "-" for raw
// samples on standard input.
struct IqInput {
  std::string path;              // empty for a device
  std::optional<double> rate{};  // of raw samples or the device; none: kDefaultIqSampleRate
  double offsetHz = 0.0;         // of the station's carrier from the I/Q's centre
  std::optional<DeviceChoice> device{};
  double frequencyHz = 0.0;  // the device's tuning
  bool operator==(const IqInput&) const = default;
};
using FeedInput = std::variant<DemoInput, LogInput, MultiplexInput, IqInput>;

struct FeedOptions {
  std::string device;  // "-" for standard output
  FeedInput input = DemoInput{};
  // None: the source's own pace (kRdsGroupsPerSecond, none for live input); 0: as fast as the
  // line takes them.
  std::optional<double> groupsPerSecond{};
  std::optional<std::uint64_t> count{};  // stop after this many groups
  bool strict = false;
  bool timed = false;                                 // at the times of the log's timestamps
  std::optional<std::chrono::milliseconds> maxGap{};  // none: kDefaultMaxGap
  bool quiet = false;                                 // no reception status line
  bool hexLines = false;                              // hex group log lines instead of packets

  // Whether the groups are decoded here from a signal.
  bool decodes() const {
    return std::holds_alternative<MultiplexInput>(input) || std::holds_alternative<IqInput>(input);
  }
  // The file the input is read from, "-" for standard input; none for the demo station.
  std::optional<std::string> inputPath() const;
};

struct HelpRequest {};
struct VersionRequest {};
// --probe: what a recording holds.
struct ProbeRequest {
  std::string path;
};
// --scan: every station of an I/Q capture, or of the band through a tuner.
struct ScanRequest {
  std::string path;  // "-" for raw unsigned 8-bit I/Q on standard input; empty for a device
  std::optional<double> rate{};      // of raw samples or the device
  std::optional<double> centreHz{};  // of a capture
  std::optional<DeviceChoice> device{};
  double fromHz = kDefaultScanFromHz;
  double toHz = kDefaultScanToHz;
  bool json = false;
  bool operator==(const ScanRequest&) const = default;
};
struct UsageError {
  std::string message;
};

using CommandLine =
    std::variant<FeedOptions, HelpRequest, VersionRequest, ProbeRequest, ScanRequest, UsageError>;

// arguments excludes the program name.
CommandLine parseCommandLine(const std::vector<std::string_view>& arguments);

std::string usageText(std::string_view programName);

}  // namespace tavimor::feed
