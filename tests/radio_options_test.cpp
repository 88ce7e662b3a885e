// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio's command line as people type it: frequencies in the ways they write them, a
// recording told from a frequency, and the mistakes named with the right exit status.
#include "tools/radio/radio_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/row_name.h"

namespace tavimor::radio {
namespace {

bool onlyRecordingExists(const std::string& path) {
  return path == "station.cu8";
}

struct CommandLineRow {
  const char* name;
  std::vector<std::string_view> arguments;
  // What the options say, or the start of the error and whether it is bad usage (2) or a
  // frequency or file that cannot be used (1).
  std::string expected;
  int status = 0;
};

std::string summary(const RadioOptions& options) {
  std::string text = options.demo ? "demo" : "";
  if (options.file) text += "file " + *options.file;
  if (options.frequencyHz) text += "at " + std::to_string(static_cast<long>(*options.frequencyHz));
  if (options.device) text += " device " + *options.device;
  text += " gain " + (options.gainDb ? std::to_string(static_cast<int>(*options.gainDb)) : "auto") +
          " ppm " + std::to_string(options.ppm);
  if (options.sampleRate) text += " rate " + std::to_string(static_cast<long>(*options.sampleRate));
  if (options.offsetHz) text += " offset " + std::to_string(static_cast<long>(*options.offsetHz));
  return text;
}

class RadioCommandLineTest : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(RadioCommandLineTest, MeansWhatItSays) {
  const CommandLineRow& row = GetParam();
  const RadioCommandLine parsed = parseRadioCommandLine(row.arguments, onlyRecordingExists);
  if (const auto* options = std::get_if<RadioOptions>(&parsed)) {
    EXPECT_EQ(row.status, 0);
    EXPECT_EQ(summary(*options), row.expected);
  } else if (const auto* usage = std::get_if<UsageError>(&parsed)) {
    EXPECT_EQ(row.status, 2) << usage->message;
    EXPECT_EQ(usage->message.substr(0, row.expected.size()), row.expected);
  } else if (const auto* operand = std::get_if<OperandError>(&parsed)) {
    EXPECT_EQ(row.status, 1) << operand->message;
    EXPECT_EQ(operand->message.substr(0, row.expected.size()), row.expected);
  } else {
    ADD_FAILURE() << "help or version";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RadioCommandLineTest,
    ::testing::Values(
        CommandLineRow{"MegahertzBare", {"94.5"}, "at 94500000 gain auto ppm 0"},
        CommandLineRow{"MegahertzWithUnit", {"94.5MHz"}, "at 94500000 gain auto ppm 0"},
        CommandLineRow{"Kilohertz", {"94500k"}, "at 94500000 gain auto ppm 0"},
        CommandLineRow{"JapansBandAndStick",
                       {"--device=driver=rtlsdr,serial=2", "-g", "33.8", "--ppm=-3", "76M"},
                       "at 76000000 device driver=rtlsdr,serial=2 gain 33 ppm -3"},
        CommandLineRow{"RawRecordingAtItsRate",
                       {"--rate=2.048M", "--offset", "-200k", "station.cu8"},
                       "file station.cu8 gain auto ppm 0 rate 2048000 offset -200000"},
        CommandLineRow{"Demo", {"--demo"}, "demo gain auto ppm 0"},
        CommandLineRow{"AboveTheBand", {"108.1M"}, "108.1M is neither a recording nor", 1},
        CommandLineRow{"MisspeltFrequency", {"94,5"}, "94,5 is neither a recording nor", 1},
        CommandLineRow{"MissingFile", {"gone.cu8"}, "gone.cu8 is neither a recording nor", 1},
        CommandLineRow{"GainNotANumber", {"--gain=loud", "94.5"}, "--gain takes decibels", 2},
        CommandLineRow{"FractionalPpm", {"--ppm=1.5", "94.5"}, "--ppm takes a whole number", 2},
        CommandLineRow{"RateOfNoReceiver", {"--rate=100k", "station.cu8"}, "--rate takes", 2},
        CommandLineRow{"RateWithAFrequency", {"--rate=1M", "94.5"}, "--mpx, --iq and --rate", 2},
        CommandLineRow{"DemoAndAFrequency", {"--demo", "94.5"}, "--demo takes no", 2},
        CommandLineRow{"DeviceForARecording", {"--device=0", "station.cu8"}, "--device is for", 2},
        CommandLineRow{"TwoStations", {"94.5", "101.7"}, "give one frequency or one", 2},
        CommandLineRow{"ValueMissing", {"94.5", "--gain"}, "--gain needs a value", 2},
        CommandLineRow{"UnknownOption", {"--loud"}, "unknown option --loud", 2}),
    testing::kRowName);

TEST(FrequencyText, KeepsOneDecimalAndNoTrailingZero) {
  EXPECT_EQ(frequencyText(94.5e6), "94.5 MHz");
  EXPECT_EQ(frequencyText(101e6), "101.0 MHz");
  EXPECT_EQ(frequencyText(88.15e6), "88.15 MHz");
}

}  // namespace
}  // namespace tavimor::radio
