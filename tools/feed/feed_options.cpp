// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/feed_options.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "fm/fm_receiver.h"
#include "mpx/mpx_decoder.h"

namespace tavimor::feed {
namespace {

struct OptionValue {
  std::string_view name;   // as given, for messages
  std::string_view value;  // empty if the option takes none
};

// A finite number of at least 0.
std::optional<double> parseNumber(std::string_view text) {
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(number) ||
      number < 0) {
    return std::nullopt;
  }
  return number;
}

// A gap of at most a day, to the millisecond.
std::optional<std::chrono::milliseconds> parseMaxGap(std::string_view text) {
  const auto seconds = parseNumber(text);
  if (!seconds || *seconds > 86'400) return std::nullopt;
  const auto gap =
      std::chrono::round<std::chrono::milliseconds>(std::chrono::duration<double>(*seconds));
  if (gap <= std::chrono::milliseconds::zero()) return std::nullopt;
  return gap;
}

// A number with an optional k or M after it, as "171000", "171k" or "0.25M".
std::optional<double> parseScaled(std::string_view text) {
  double scale = 1;
  if (text.ends_with('k')) scale = 1e3;
  if (text.ends_with('M')) scale = 1e6;
  if (scale != 1) text.remove_suffix(1);
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  const auto number = parseNumber(text);
  if (!number) return std::nullopt;
  return (negative ? -*number : *number) * scale;
}

struct RateRange {
  double lowest;
  double highest;
};
constexpr RateRange kMpxRates{mpx::kMinSampleRate, kMaxMpxSampleRate};
constexpr RateRange kIqRates{fm::kMinIqRate, fm::kMaxIqRate};

// As a rate is given: "128k", "3.2M".
std::string scaledRate(double rate) {
  std::ostringstream text;
  if (rate >= 1e6) {
    text << rate / 1e6 << 'M';
  } else {
    text << rate / 1e3 << 'k';
  }
  return text.str();
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
  std::uint64_t count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc{} || end != text.data() + text.size() || count == 0) return std::nullopt;
  return count;
}

bool takesValue(std::string_view option) {
  return option == "-r" || option == "--rate" || option == "-n" || option == "--count" ||
         option == "--max-gap" || option == "--offset" || option == "--probe" ||
         option == "--device" || option == "--centre" || option == "--frequency" ||
         option == "--gain" || option == "--ppm" || option == "--from" || option == "--to";
}

// What picks the input, which only the whole command line tells.
struct InputFlags {
  bool mpx = false;
  bool iq = false;
  bool scan = false;
  bool json = false;
  std::optional<double> offsetHz;
  std::optional<double> sampleRate;
  std::optional<double> centreHz;
  std::optional<std::string> device;
  std::optional<double> frequencyHz;
  std::optional<double> gainDb;
  std::optional<double> ppm;
  std::optional<double> fromHz;
  std::optional<double> toHz;
};

// FM broadcasting's bands lie within this range, which every tuner it is meant for reaches.
constexpr double kLowestTuning = 64e6;
constexpr double kHighestTuning = 108e6;

std::optional<UsageError> parseFrequency(const OptionValue& option, std::optional<double>& into) {
  const auto hz = parseScaled(option.value);
  if (!hz || *hz < kLowestTuning || *hz > kHighestTuning)
    return UsageError{"invalid frequency '" + std::string(option.value) + "' for " +
                      std::string(option.name) + " (from 64M to 108M)"};
  into = *hz;
  return std::nullopt;
}

// The options of a tuner, a capture's centre and a scan.
std::optional<UsageError> applyTunerOption(const OptionValue& option, InputFlags& flags) {
  if (option.name == "--device") {
    flags.device = std::string(option.value);
  } else if (option.name == "--frequency") {
    return parseFrequency(option, flags.frequencyHz);
  } else if (option.name == "--from") {
    return parseFrequency(option, flags.fromHz);
  } else if (option.name == "--to") {
    return parseFrequency(option, flags.toHz);
  } else if (option.name == "--centre") {
    const auto hz = parseScaled(option.value);
    if (!hz || *hz <= 0) return UsageError{"invalid centre '" + std::string(option.value) + "'"};
    flags.centreHz = *hz;
  } else if (option.name == "--gain") {
    const auto gain = parseNumber(option.value);
    if (!gain || *gain > 100) return UsageError{"invalid gain '" + std::string(option.value) + "'"};
    flags.gainDb = *gain;
  } else if (option.name == "--ppm") {
    const auto ppm = parseScaled(option.value);
    if (!ppm || std::abs(*ppm) > 1000)
      return UsageError{"invalid correction '" + std::string(option.value) + "' (ppm)"};
    flags.ppm = *ppm;
  } else {
    return UsageError{"unknown option '" + std::string(option.name) + "'"};
  }
  return std::nullopt;
}

// --rate means groups per second, or samples per second with --mpx or --iq, which may come
// after it.
std::optional<UsageError> applyRate(std::string_view value, InputFlags& flags,
                                    FeedOptions& options) {
  if (flags.mpx || flags.iq || flags.scan) {
    const RateRange& range = flags.iq || flags.scan ? kIqRates : kMpxRates;
    const auto rate = parseScaled(value);
    if (!rate || *rate < range.lowest || *rate > range.highest) {
      return UsageError{"invalid sample rate '" + std::string(value) + "' (" + "from " +
                        scaledRate(range.lowest) + " to " + scaledRate(range.highest) +
                        " samples a second)"};
    }
    flags.sampleRate = *rate;
    return std::nullopt;
  }
  const auto rate = parseNumber(value);
  if (!rate) return UsageError{"invalid rate '" + std::string(value) + "'"};
  options.groupsPerSecond = *rate;
  return std::nullopt;
}

std::optional<UsageError> applyOption(const OptionValue& option, InputFlags& flags,
                                      FeedOptions& options) {
  if (option.name == "-n" || option.name == "--count") {
    const auto count = parseCount(option.value);
    if (!count) return UsageError{"invalid count '" + std::string(option.value) + "'"};
    options.count = *count;
  } else if (option.name == "--max-gap") {
    const auto gap = parseMaxGap(option.value);
    if (!gap) return UsageError{"invalid gap '" + std::string(option.value) + "'"};
    options.maxGap = *gap;
  } else if (option.name == "--strict") {
    options.strict = true;
  } else if (option.name == "--timed") {
    options.timed = true;
  } else if (option.name == "--mpx") {
    flags.mpx = true;
  } else if (option.name == "--iq") {
    flags.iq = true;
  } else if (option.name == "--offset") {
    const auto offset = parseScaled(option.value);
    if (!offset) return UsageError{"invalid offset '" + std::string(option.value) + "'"};
    flags.offsetHz = *offset;
  } else if (option.name == "--quiet") {
    options.quiet = true;
  } else if (option.name == "--hex") {
    options.hexLines = true;
  } else if (option.name == "--scan") {
    flags.scan = true;
  } else if (option.name == "--json") {
    flags.json = true;
  } else {
    return applyTunerOption(option, flags);
  }
  return std::nullopt;
}

// What only a tuner takes, named if given without one.
std::optional<UsageError> tunerOnlyOption(const InputFlags& flags) {
  if (flags.device) return std::nullopt;
  if (flags.gainDb) return UsageError{"--gain is for --device"};
  if (flags.ppm) return UsageError{"--ppm is for --device"};
  if (flags.frequencyHz) return UsageError{"--frequency is for --iq --device"};
  if (flags.fromHz || flags.toHz) return UsageError{"--from and --to are for --scan --device"};
  return std::nullopt;
}

std::optional<DeviceChoice> deviceOf(const InputFlags& flags) {
  if (!flags.device) return std::nullopt;
  return DeviceChoice{*flags.device, flags.gainDb, flags.ppm.value_or(0.0)};
}

CommandLine scanRequest(const std::vector<std::string_view>& operands, const InputFlags& flags,
                        const FeedOptions& options) {
  if (flags.mpx || flags.iq) return UsageError{"--scan excludes --mpx and --iq"};
  if (options.hexLines || options.quiet || options.count || options.strict || options.timed ||
      options.maxGap || options.groupsPerSecond || flags.offsetHz)
    return UsageError{"--scan takes only --rate, --centre, --json and a tuner's options"};
  if (flags.frequencyHz) return UsageError{"--frequency is for --iq; a scan hops --from --to"};
  if (auto error = tunerOnlyOption(flags)) return *error;
  ScanRequest request;
  request.rate = flags.sampleRate;
  request.json = flags.json;
  if (flags.device) {
    if (!operands.empty())
      return UsageError{"--scan --device takes no INPUT: '" + std::string(operands[0]) + "'"};
    if (flags.centreHz) return UsageError{"--centre is for a capture; a tuner knows its own"};
    request.device = deviceOf(flags);
    request.fromHz = flags.fromHz.value_or(kDefaultScanFromHz);
    request.toHz = flags.toHz.value_or(kDefaultScanToHz);
    if (request.fromHz >= request.toHz) return UsageError{"--from must lie below --to"};
    return request;
  }
  if (operands.empty())
    return UsageError{"--scan needs an INPUT (- for raw I/Q on standard input)"};
  if (operands.size() > 1)
    return UsageError{"unexpected argument '" + std::string(operands[1]) + "'"};
  request.path = operands[0];
  if (flags.sampleRate && request.path != "-")
    return UsageError{"--rate is for raw samples on standard input; a sound file has its own"};
  request.centreHz = flags.centreHz;
  return request;
}

std::optional<UsageError> checkSignalInput(const InputFlags& flags, const FeedOptions& options,
                                           const std::optional<std::string>& path) {
  const std::string mode = flags.iq ? "--iq" : "--mpx";
  if (flags.mpx && flags.iq) return UsageError{"--mpx and --iq exclude each other"};
  if (!path) return UsageError{mode + " needs an INPUT (- for raw samples on standard input)"};
  if (flags.sampleRate && path != "-") {
    return UsageError{"--rate is for raw samples on standard input; a sound file has its own"};
  }
  if (options.strict) return UsageError{"--strict is for a LOG, not " + mode};
  if (options.maxGap) return UsageError{"--max-gap is for a LOG, not " + mode};
  return std::nullopt;
}

FeedInput inputOf(const InputFlags& flags, std::optional<std::string> path) {
  if (flags.iq && flags.device)
    return IqInput{.path = "",
                   .rate = flags.sampleRate,
                   .offsetHz = flags.offsetHz.value_or(0.0),
                   .device = deviceOf(flags),
                   .frequencyHz = *flags.frequencyHz};
  if (flags.iq) return IqInput{*path, flags.sampleRate, flags.offsetHz.value_or(0.0)};
  if (flags.mpx) return MultiplexInput{*path, flags.sampleRate};
  if (path) return LogInput{*path};
  return DemoInput{};
}

std::optional<UsageError> placeOperands(const std::vector<std::string_view>& operands,
                                        const InputFlags& flags, FeedOptions& options) {
  if (operands.empty()) return UsageError{"missing DEVICE"};
  if (operands.size() > 2) {
    return UsageError{"unexpected argument '" + std::string(operands[2]) + "'"};
  }
  options.device = operands[0];
  std::optional<std::string> path;
  if (operands.size() == 2) path = std::string(operands[1]);
  if (options.strict && !path) return UsageError{"--strict needs a LOG"};
  if (options.timed && !path) return UsageError{"--timed needs a LOG"};
  if (options.maxGap && !options.timed) return UsageError{"--max-gap needs --timed"};
  if (flags.offsetHz && !flags.iq) return UsageError{"--offset is for --iq"};
  if (!flags.mpx && !flags.iq && options.quiet) return UsageError{"--quiet is for --mpx or --iq"};
  if (flags.json) return UsageError{"--json is for --scan"};
  if (flags.centreHz) return UsageError{"--centre is for --scan"};
  if (auto error = tunerOnlyOption(flags)) return error;
  if (flags.device) {
    if (!flags.iq) return UsageError{"--device is for --iq or --scan"};
    if (path) return UsageError{"--iq --device takes no INPUT: '" + *path + "'"};
    if (!flags.frequencyHz) return UsageError{"--iq --device needs --frequency (as 94.5M)"};
    if (options.timed) return UsageError{"--timed is for a recording, not a device"};
  } else if (flags.mpx || flags.iq) {
    if (auto error = checkSignalInput(flags, options, path)) return error;
  }
  options.input = inputOf(flags, std::move(path));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FeedOptions::inputPath() const {
  return std::visit(
      [](const auto& chosen) -> std::optional<std::string> {
        if constexpr (requires { chosen.path; }) {
          return chosen.path;
        } else {
          return std::nullopt;
        }
      },
      input);
}

CommandLine parseCommandLine(const std::vector<std::string_view>& arguments) {
  FeedOptions options;
  InputFlags flags;
  std::vector<std::string_view> operands;
  std::optional<std::string_view> rate;
  std::optional<std::string_view> probed;
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
    // Its arguments are optional: alone, the only device found.
    if (argument == "--device") {
      flags.device = "";
      continue;
    }

    OptionValue option{argument, {}};
    if (const std::size_t equals = argument.find('=');
        argument.starts_with("--") && equals != std::string_view::npos) {
      option = {argument.substr(0, equals), argument.substr(equals + 1)};
      if (!takesValue(option.name)) {
        return UsageError{"option '" + std::string(option.name) + "' takes no value"};
      }
    } else if (takesValue(argument)) {
      if (i + 1 == arguments.size()) {
        return UsageError{"option '" + std::string(argument) + "' needs a value"};
      }
      option.value = arguments[++i];
    }
    if (option.name == "-r" || option.name == "--rate") {
      rate = option.value;
    } else if (option.name == "--probe") {
      probed = option.value;
    } else if (auto error = applyOption(option, flags, options)) {
      return *error;
    }
  }
  if (probed) {
    if (arguments.size() > 2) return UsageError{"--probe takes a FILE and nothing else"};
    return ProbeRequest{std::string(*probed)};
  }
  if (rate) {
    if (auto error = applyRate(*rate, flags, options)) return *error;
  }
  if (flags.scan) return scanRequest(operands, flags, options);
  if (auto error = placeOperands(operands, flags, options)) return *error;
  return options;
}

std::string usageText(std::string_view programName) {
  const std::string name(programName);
  return "Usage: " + name + " [OPTION]... DEVICE [LOG]\n" + "  or:  " + name +
         " --mpx [OPTION]... DEVICE INPUT\n" + "  or:  " + name +
         " --iq [OPTION]... DEVICE INPUT\n" + "  or:  " + name +
         " --iq --device[=ARGS] --frequency=HZ [OPTION]... DEVICE\n" + "  or:  " + name +
         " --scan [--rate=SAMPLES] [--centre=HZ] [--json] INPUT\n" + "  or:  " + name +
         " --scan --device[=ARGS] [--from=HZ] [--to=HZ] [OPTION]...\n" + "  or:  " + name +
         " --probe FILE\n" +
         "Writes RDS groups to DEVICE as a receiver sends them: nine-byte packets, a lead byte\n"
         "then blocks A, B, C and D high byte first, at 9600 baud 8N1 on a serial line.\n"
         "\n"
         "The groups come from LOG, a hex group log with one group per line\n"
         "(\"PPPP BBBB CCCC DDDD\", optionally \" @YYYY/MM/DD HH:MM:SS.cc\"; - for standard\n"
         "input), or without LOG from a built-in demo station that runs until interrupted.\n"
         "With --mpx they are decoded from an FM multiplex signal: INPUT is a sound file (FLAC,\n"
         "WAV, ...; its first channel), or - for raw signed 16-bit little-endian samples on\n"
         "standard input as rtl_fm writes them. With --iq the station is received from an SDR\n"
         "stick's I/Q samples: INPUT is a two-channel sound file (I, then Q), or - for raw\n"
         "unsigned 8-bit I/Q on standard input as rtl_sdr writes them. Each group goes out as\n"
         "soon as it is decoded; groups with a block that could not be decoded are skipped\n"
         "unless written as --hex. While decoding live input, or a recording with --timed, a\n"
         "line on standard error tells once a second how well the station is received.\n"
         "DEVICE is a serial device, a pseudo-terminal, a FIFO, or - for standard output.\n"
         "With --device the I/Q comes from a tuner through SoapySDR instead of INPUT.\n"
         "\n"
         "--scan lists every station of an I/Q capture (INPUT as with --iq) at its end or on\n"
         "Ctrl-C, sorted by frequency: PI, name, programme type, level, SNR, blocks lost and\n"
         "groups. With --device it hops the tuner across the band and lists each station as\n"
         "soon as it stands.\n"
         "\n"
         "Groups from a log go out at --rate. Standard input from a pipe or a terminal is live:\n"
         "each group goes out as soon as its line arrives, with no pacing unless --rate is\n"
         "given, and then only bursts faster than the rate are held back.\n"
         "\n"
         "  -r, --rate=GROUPS      groups per second (default 11.4, as a station sends them;\n"
         "                         0 sends as fast as the line takes them)\n"
         "      --timed            send the groups of LOG at the times of their timestamps;\n"
         "                         a group without one follows the one before at --rate;\n"
         "                         with --mpx or --iq, send each group when it ended in the\n"
         "                         recording\n"
         "      --max-gap=SECONDS  with --timed, shorten longer gaps to SECONDS (default 5)\n"
         "  -n, --count=N          stop after N groups\n"
         "      --strict           end at the first malformed line of LOG, with status 1\n"
         "      --mpx              decode the groups from the FM multiplex signal in INPUT\n"
         "      --iq               receive the station from the I/Q samples in INPUT\n"
         "  -r, --rate=SAMPLES     with --mpx, --iq or --scan, raw samples per second on\n"
         "                         standard input or the tuner's (--mpx: default 171k, from\n"
         "                         128k to 10M; --iq and --scan: default 1024k, a tuner's scan\n"
         "                         2048k, from 900k to 3.2M)\n"
         "      --offset=HZ        with --iq, the station lies HZ from the centre of the I/Q\n"
         "                         (as -200k or 0.4M; default 0)\n"
         "      --quiet            with --mpx or --iq, no reception status line\n"
         "      --device[=ARGS]    read a tuner through SoapySDR (ARGS as driver=rtlsdr;\n"
         "                         alone, the only device found)\n"
         "      --frequency=HZ     with --iq --device, tune to HZ (as 94.5M)\n"
         "      --gain=DB          with --device, the tuner's gain (default automatic)\n"
         "      --ppm=N            with --device, the tuner's frequency correction\n"
         "      --scan             list every station of INPUT, or of the band with --device\n"
         "      --centre=HZ        with --scan, the frequency at the capture's centre\n"
         "      --from=HZ          with --scan --device, where the band starts (87.5M)\n"
         "      --to=HZ            with --scan --device, where the band ends (108M)\n"
         "      --json             with --scan, one JSON object a station\n"
         "      --hex              write hex group log lines, \"----\" for a lost block,\n"
         "                         instead of packets\n"
         "      --probe=FILE       say what FILE holds (kind, rate, channels, length) and\n"
         "                         exit\n"
         "  -h, --help             show this help and exit\n"
         "  -V, --version          show the version and exit\n"
         "\n"
         "Exit status: 0 when all groups were sent or the scan ended, 1 on an error (the\n"
         "reader of DEVICE or the tuner gone included), 2 on bad usage.\n";
}

}  // namespace tavimor::feed
