// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's command line: a station's frequency (or none, for a band scan), a recording, or
// the demo station, and the tuner's settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavimor::radio {

// The FM broadcast bands, from the lowest (Japan's) to the top of the usual one.
inline constexpr double kLowestStationHz = 64e6;
inline constexpr double kHighestStationHz = 108e6;

// What a recording holds, when the command line says rather than the file.
enum class ForcedKind { None, Multiplex, Iq };

struct RadioOptions {
  bool demo = false;
  std::optional<std::string> file;
  // None, without a recording: the band is scanned.
  std::optional<double> frequencyHz;
  // The tuner to use, by SoapySDR's device arguments; the only one found if none.
  std::optional<std::string> device;
  // None: the tuner's automatic gain.
  std::optional<double> gainDb;
  int ppm = 0;
  ForcedKind forcedKind = ForcedKind::None;
  // Of a raw I/Q recording; none: rtl_sdr's 1024k.
  std::optional<double> sampleRate;
  std::optional<double> offsetHz;
};

struct HelpRequest {};
struct VersionRequest {};
struct UsageError {
  std::string message;
};
// An operand that is neither a file nor a frequency: a typing error rather than bad usage.
struct OperandError {
  std::string message;
};
using RadioCommandLine =
    std::variant<RadioOptions, HelpRequest, VersionRequest, UsageError, OperandError>;

// arguments excludes the program name. An operand that names an existing file, or comes with
// --mpx or --iq, is a recording; any other is a frequency.
RadioCommandLine parseRadioCommandLine(const std::vector<std::string_view>& arguments,
                                       bool (*fileExists)(const std::string&));

// 94.5, 94.5M, 94.5MHz or 94500k as Hz within the FM bands, or why not.
std::variant<double, std::string> parseFrequency(std::string_view text);

// "94.5 MHz".
std::string frequencyText(double hz);

std::string radioUsageText();

}  // namespace tavimor::radio
