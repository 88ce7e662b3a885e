// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/radio_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "fm/fm_receiver.h"

namespace tavimor::radio {
namespace {

// A finite number, with an optional sign.
std::optional<double> parseNumber(std::string_view text) {
  double number = 0;
  if (text.starts_with('+')) text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
      !std::isfinite(number)) {
    return std::nullopt;
  }
  return number;
}

// "171000", "171k", "1.024M", "-200k".
std::optional<double> parseScaled(std::string_view text) {
  double scale = 1;
  if (text.ends_with('k')) scale = 1e3;
  if (text.ends_with('M')) scale = 1e6;
  if (scale != 1) text.remove_suffix(1);
  const auto number = parseNumber(text);
  if (!number) return std::nullopt;
  return *number * scale;
}

bool takesValue(std::string_view option) {
  return option == "-g" || option == "--gain" || option == "-p" || option == "--ppm" ||
         option == "-r" || option == "--rate" || option == "--offset" || option == "--device";
}

std::optional<UsageError> applyOption(std::string_view name, std::string_view value,
                                      RadioOptions& options) {
  const auto bad = [&](std::string_view what) {
    return UsageError{std::string(name) + " takes " + std::string(what) + ", not '" +
                      std::string(value) + "'"};
  };
  if (name == "--demo") {
    options.demo = true;
  } else if (name == "--mpx") {
    options.forcedKind = ForcedKind::Multiplex;
  } else if (name == "--iq") {
    options.forcedKind = ForcedKind::Iq;
  } else if (name == "-g" || name == "--gain") {
    const auto gain = parseNumber(value);
    if (!gain || *gain < 0 || *gain > 60) return bad("decibels from 0 to 60, such as 20");
    options.gainDb = *gain;
  } else if (name == "-p" || name == "--ppm") {
    const auto ppm = parseNumber(value);
    if (!ppm || *ppm != std::trunc(*ppm) || std::abs(*ppm) > 1000) {
      return bad("a whole number of ppm, such as -3");
    }
    options.ppm = static_cast<int>(*ppm);
  } else if (name == "-r" || name == "--rate") {
    const auto rate = parseScaled(value);
    if (!rate || *rate < fm::kMinIqRate || *rate > fm::kMaxIqRate) {
      return bad("samples a second from 900k to 3.2M");
    }
    options.sampleRate = *rate;
  } else if (name == "--offset") {
    const auto offset = parseScaled(value);
    if (!offset) return bad("hertz, such as -200k");
    options.offsetHz = *offset;
  } else if (name == "--device") {
    if (value.empty()) return bad("SoapySDR's device arguments, such as driver=rtlsdr");
    options.device = std::string(value);
  } else {
    return UsageError{"unknown option " + std::string(name)};
  }
  return std::nullopt;
}

std::optional<RadioCommandLine> placeOperand(const std::vector<std::string_view>& operands,
                                             bool (*fileExists)(const std::string&),
                                             RadioOptions& options) {
  if (operands.size() > 1) return UsageError{"give one frequency or one recording"};
  if (options.demo && !operands.empty()) {
    return UsageError{"--demo takes no frequency or recording"};
  }
  if (!operands.empty()) {
    const std::string operand(operands.front());
    if (fileExists(operand) || options.forcedKind != ForcedKind::None) {
      options.file = operand;
    } else {
      auto frequency = parseFrequency(operand);
      if (auto* problem = std::get_if<std::string>(&frequency)) {
        return OperandError{operand + " is neither a recording nor " + *problem};
      }
      options.frequencyHz = std::get<double>(frequency);
    }
  }
  const bool recording = options.file || options.demo;
  if (!options.file && (options.forcedKind != ForcedKind::None || options.sampleRate)) {
    return UsageError{"--mpx, --iq and --rate are for a recording"};
  }
  if (options.offsetHz && !options.file) return UsageError{"--offset is for an I/Q recording"};
  if (recording && options.device) return UsageError{"--device is for a station on the air"};
  return std::nullopt;
}

}  // namespace

std::variant<double, std::string> parseFrequency(std::string_view text) {
  const std::string problem =
      "the frequency of an FM station (in MHz, from 64 to 108, such as 94.5M)";
  double scale = 1e6;
  for (const auto& [unit, unitScale] : {std::pair<std::string_view, double>{"MHz", 1e6},
                                        {"M", 1e6},
                                        {"m", 1e6},
                                        {"kHz", 1e3},
                                        {"k", 1e3}}) {
    if (text.ends_with(unit)) {
      text.remove_suffix(unit.size());
      scale = unitScale;
      break;
    }
  }
  const auto number = parseNumber(text);
  if (!number || text.starts_with('-') || text.starts_with('+')) return problem;
  const double hz = std::round(*number * scale);
  if (hz < kLowestStationHz || hz > kHighestStationHz) return problem;
  return hz;
}

std::string frequencyText(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MHz", hz / 1e6);
  std::string shown(text);
  // 94.50 MHz reads as 94.5 MHz, 94.00 as 94.0.
  if (shown.ends_with("0 MHz") && shown[shown.size() - 6] != '.') shown.erase(shown.size() - 5, 1);
  return shown;
}

RadioCommandLine parseRadioCommandLine(const std::vector<std::string_view>& arguments,
                                       bool (*fileExists)(const std::string&)) {
  RadioOptions options;
  std::vector<std::string_view> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
      operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") return HelpRequest{};
    if (argument == "-V" || argument == "--version") return VersionRequest{};
    // A negative frequency or offset is no option: "-3" is a value only after an option.
    std::string_view name = argument;
    std::string_view value;
    if (const auto equals = argument.find('='); equals != std::string_view::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    } else if (takesValue(argument)) {
      if (i + 1 == arguments.size()) return UsageError{std::string(argument) + " needs a value"};
      value = arguments[++i];
    }
    if (!takesValue(name) && value.data() != nullptr && name != argument) {
      return UsageError{std::string(name) + " takes no value"};
    }
    if (auto error = applyOption(name, value, options)) return *error;
  }
  if (auto error = placeOperand(operands, fileExists, options)) return std::move(*error);
  return options;
}

std::string radioUsageText() {
  return R"(Usage: tavimor-radio [--device=ARGS] [--gain=DB] [--ppm=N] [FREQUENCY]
  or:  tavimor-radio [--mpx | --iq] [--rate=SAMPLES] [--offset=HZ] FILE
  or:  tavimor-radio --demo
Shows FM stations' RDS in the Tavimor monitor, on a port 5 of its own that needs no root, and
lists them in a window of its own where a station is picked by name.

A tuner read through SoapySDR (an RTL-SDR stick with Debian's soapysdr-module-rtlsdr, or any
other with its own module) receives the station at FREQUENCY (such as 94.5M, in MHz from 64 to
108); without FREQUENCY it scans the band from 87.5 to 108 MHz and lists every station found.
FILE is a recording, played at its own pace: raw I/Q of rtl_sdr named *.cu8, a WAV or FLAC file
with two channels (I/Q) or one (the FM multiplex signal), or a hex group log.

      --device=ARGS    the tuner to use, by SoapySDR's device arguments (such as
                       driver=rtlsdr,serial=00000001); the only one found if not given
  -g, --gain=DB        the tuner's gain in dB (default: its automatic gain)
  -p, --ppm=N          the tuner's frequency correction in ppm (default 0)
      --mpx            take FILE as an FM multiplex recording
      --iq             take FILE as an I/Q recording
  -r, --rate=SAMPLES   samples per second of a raw I/Q recording (default 1024k)
      --offset=HZ      with I/Q, start on the station HZ away from the recording's centre
      --demo           show the built-in demo station
  -h, --help           show this help and exit
  -V, --version        show the version and exit

Runs until the window is closed or Ctrl-C.
Exit status: 0 when stopped so, 1 on an error, 2 on bad usage.
)";
}

}  // namespace tavimor::radio
