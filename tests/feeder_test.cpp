// SPDX-License-Identifier: GPL-3.0-or-later
// The feeder's pure parts: hex group log lines, packet bytes, the command line and what a
// recording is taken for.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <fstream>
#include <sstream>

#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"
#include "tools/feed/feed_options.h"
#include "tools/feed/group_log.h"
#include "tools/feed/pacer.h"
#include "tools/feed/recording_probe.h"
#include "tools/feed/sample_input.h"

namespace tavimor {

// gtest finds the printer of a type in the type's own namespace.
void PrintTo(const RdsGroup& group, std::ostream* out) {  // NOLINT(readability-identifier-naming)
  *out << std::hex << std::uppercase << group.a << ' ' << group.b << ' ' << group.c << ' '
       << group.d;
}

}  // namespace tavimor

namespace tavimor::feed {

namespace {

std::ostream& operator<<(std::ostream& out, const std::vector<std::string_view>& arguments) {
  for (const std::string_view argument : arguments)
    out << " '" << argument << "'";
  return out;
}

using Kind = LogLine::Kind;

struct LineCase {
  std::string_view name;
  std::string_view line;
  Kind kind;
  RdsGroup group;                  // checked for Kind::Group
  std::string_view problemPart{};  // checked for Kind::Malformed
};

std::ostream& operator<<(std::ostream& out, const LineCase& lineCase) {
  return out << '"' << lineCase.line << '"';
}

class LogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLineTest, IsParsedAsExpected) {
  const LineCase& expected = GetParam();
  const LogLine parsed = parseLogLine(expected.line);

  ASSERT_EQ(parsed.kind, expected.kind) << parsed.problem;
  if (expected.kind == Kind::Group) {
    EXPECT_EQ(parsed.group, expected.group);
  }
  if (expected.kind == Kind::Malformed) {
    EXPECT_NE(parsed.problem.find(expected.problemPart), std::string::npos) << parsed.problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, LogLineTest,
    ::testing::Values(
        LineCase{
            "FourBlocks", "D3C2 2005 4142 4344", Kind::Group, {0xD3C2, 0x2005, 0x4142, 0x4344}},
        LineCase{"WithTimestamp",
                 "D3C2 0548 E244 4F52 @2024/05/01 12:00:03.25",
                 Kind::Group,
                 {0xD3C2, 0x0548, 0xE244, 0x4F52}},
        LineCase{"LowerCase", "d3c2 abcd ef01 0000", Kind::Group, {0xD3C2, 0xABCD, 0xEF01, 0x0000}},
        LineCase{"TabsSpacesAndCarriageReturn",
                 "  FFFF\t0000  1234 5678\r",
                 Kind::Group,
                 {0xFFFF, 0x0000, 0x1234, 0x5678}},
        LineCase{"WithTimestampAndLineEnd",
                 "D3C2 2005 4142 4344 @2024/05/01 12:00:03.25\r\n",
                 Kind::Group,
                 {0xD3C2, 0x2005, 0x4142, 0x4344}}),
    testing::kRowName);

INSTANTIATE_TEST_SUITE_P(
    Skipped, LogLineTest,
    ::testing::Values(LineCase{"Empty", "", Kind::Ignored, {}},
                      LineCase{"Blank", "   \t", Kind::Ignored, {}},
                      LineCase{"CarriageReturnOnly", "\r", Kind::Ignored, {}},
                      LineCase{
                          "Header", "<recorder=\"bench\" date=\"2024-05-01\">", Kind::Ignored, {}},
                      LineCase{"Comment", "% RDS group log, PI D3C2", Kind::Ignored, {}},
                      LineCase{"BlockBMissing", "D3C2 ---- 4142 4344", Kind::MissingBlock, {}},
                      LineCase{"EveryBlockMissing", "---- ---- ---- ----", Kind::MissingBlock, {}},
                      LineCase{"BlockDMissingWithTimestamp",
                               "D3C2 2005 4142 ---- @2024/05/01 12:00:03.25",
                               Kind::MissingBlock,
                               {}}),
    testing::kRowName);

INSTANTIATE_TEST_SUITE_P(
    Malformed, LogLineTest,
    ::testing::Values(
        LineCase{
            "ThreeBlocks", "D3C2 2005 4142", Kind::Malformed, {}, "expected four blocks, found 3"},
        LineCase{"OneBlock", "D3C2", Kind::Malformed, {}, "found 1"},
        LineCase{"NotAHexDigit", "D3C2 2005 4142 43G4", Kind::Malformed, {}, "block D \"43G4\""},
        LineCase{"FiveDigits", "D3C22 2005 4142 4344", Kind::Malformed, {}, "block A \"D3C22\""},
        LineCase{"ThreeDigits", "D3C 2005 4142 4344", Kind::Malformed, {}, "block A"},
        LineCase{"Sign", "D3C2 +205 4142 4344", Kind::Malformed, {}, "block B"},
        LineCase{"HexPrefix", "D3C2 2005 0x41 4344", Kind::Malformed, {}, "block C"},
        LineCase{"ThreeDashes", "D3C2 --- 4142 4344", Kind::Malformed, {}, "block B"},
        LineCase{"BlockMissingAndAnotherMalformed",
                 "D3C2 ---- 4142 4X44",
                 Kind::Malformed,
                 {},
                 "block D"},
        LineCase{
            "FiveBlocks", "D3C2 2005 4142 4344 4546", Kind::Malformed, {}, "unexpected \"4546\""},
        LineCase{"DateWithDashes",
                 "D3C2 2005 4142 4344 @2024-05-01 12:00:03.25",
                 Kind::Malformed,
                 {},
                 "timestamp"},
        LineCase{
            "DateWithoutTime", "D3C2 2005 4142 4344 @2024/05/01", Kind::Malformed, {}, "timestamp"},
        LineCase{"NoCentiseconds",
                 "D3C2 2005 4142 4344 @2024/05/01 12:00:03",
                 Kind::Malformed,
                 {},
                 "timestamp"},
        LineCase{"TextAfterTheTimestamp",
                 "D3C2 2005 4142 4344 @2024/05/01 12:00:03.25 x",
                 Kind::Malformed,
                 {},
                 "timestamp"}),
    testing::kRowName);

using namespace std::chrono_literals;

struct TimestampCase {
  std::string_view name;
  std::string_view timestamp;
  std::optional<LogTime> time;  // none: the line is malformed
};

class TimestampTest : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(TimestampTest, GivesTheRecordedTime) {
  const LogLine parsed = parseLogLine("D3C2 2005 4142 4344 " + std::string(GetParam().timestamp));

  if (!GetParam().time) {
    EXPECT_EQ(parsed.kind, Kind::Malformed);
    EXPECT_NE(parsed.problem.find("is not a valid date and time"), std::string::npos)
        << parsed.problem;
    return;
  }
  ASSERT_EQ(parsed.kind, Kind::Group) << parsed.problem;
  EXPECT_EQ(parsed.time, GetParam().time);
}

constexpr std::chrono::sys_days kMayDay = std::chrono::sys_days{2024y / 5 / 1};
constexpr std::chrono::sys_days kNewYear = std::chrono::sys_days{2025y / 1 / 1};

INSTANTIATE_TEST_SUITE_P(
    Timestamps, TimestampTest,
    ::testing::Values(TimestampCase{"Centiseconds", "@2024/05/01 12:00:03.25",
                                    kMayDay + 12h + 3s + Centiseconds{25}},
                      TimestampCase{"LastCentisecondOfTheYear", "@2024/12/31 23:59:59.99",
                                    kNewYear - Centiseconds{1}},
                      TimestampCase{"MidnightOfTheNextDay", "@2025/01/01 00:00:00.00", kNewYear},
                      TimestampCase{
                          "LeapDay", "@2024/02/29 06:30:00.50",
                          std::chrono::sys_days{2024y / 2 / 29} + 6h + 30min + Centiseconds{50}},
                      TimestampCase{"LeapSecond", "@2016/12/31 23:59:60.50",
                                    std::chrono::sys_days{2017y / 1 / 1} + Centiseconds{50}},
                      TimestampCase{"NoLeapDay", "@2023/02/29 06:30:00.50", std::nullopt},
                      TimestampCase{"Month13", "@2024/13/01 00:00:00.00", std::nullopt},
                      TimestampCase{"Day0", "@2024/05/00 00:00:00.00", std::nullopt},
                      TimestampCase{"Hour24", "@2024/05/01 24:00:00.00", std::nullopt},
                      TimestampCase{"Minute60", "@2024/05/01 12:60:00.00", std::nullopt}),
    testing::kRowName);

TEST(GroupLogReader, SendsTheGoodGroupsAndCountsAndReportsTheRest) {
  std::istringstream log(
      "% recorded at the bench\n"                      // 1
      "D3C2 0548 E244 4F52\n"                          // 2
      "\n"                                             // 3
      "D3C2 ---- 4142 4344\n"                          // 4
      "D3C2 2005 41\n"                                 // 5
      "D3C2 2005 4142 4344 @2024/05/01 12:00:03.25\n"  // 6
      "garbage here and there\n"                       // 7
      "D3C2 0549 8ECD 5645");                          // 8, no final line break
  std::ostringstream diagnostics;
  GroupLogReader reader(log, "bench.txt", diagnostics, false);

  std::vector<RdsGroup> groups;
  while (const auto group = reader.next())
    groups.push_back(*group);

  EXPECT_EQ(groups, (std::vector<RdsGroup>{{0xD3C2, 0x0548, 0xE244, 0x4F52},
                                           {0xD3C2, 0x2005, 0x4142, 0x4344},
                                           {0xD3C2, 0x0549, 0x8ECD, 0x5645}}));
  EXPECT_EQ(reader.groupsWithMissingBlock(), 1u);
  EXPECT_EQ(reader.malformedLines(), 2u);
  EXPECT_FALSE(reader.stoppedAtMalformedLine());
  EXPECT_EQ(diagnostics.str(),
            "bench.txt:5: expected four blocks, found 3\n"
            "bench.txt:7: block A \"garbage\" is not four hex digits\n");
}

TEST(GroupLogReader, StrictModeEndsAtTheFirstMalformedLine) {
  std::istringstream log(
      "D3C2 0548 E244 4F52\n"
      "D3C2 ---- 4142 4344\n"
      "D3C2 2005 4142 434\n"
      "D3C2 2005 4142 4344\n");
  std::ostringstream diagnostics;
  GroupLogReader reader(log, "bench.txt", diagnostics, true);

  EXPECT_TRUE(reader.next().has_value());
  EXPECT_FALSE(reader.next().has_value());
  EXPECT_FALSE(reader.next().has_value());
  EXPECT_TRUE(reader.stoppedAtMalformedLine());
  EXPECT_EQ(reader.groupsWithMissingBlock(), 1u);
  EXPECT_EQ(diagnostics.str(), "bench.txt:3: block D \"434\" is not four hex digits\n");
}

// A recording written as log lines must replay as it was decoded, lost blocks and times included.
TEST(LogLineFormat, IsReadBackAsWritten) {
  const LogTime time = kMayDay + 19h + 51min + 17s + Centiseconds(2);
  EXPECT_EQ(formatLogLine({0xF201, 0x0409, 0x0110, 0x494E}, time),
            "F201 0409 0110 494E @2024/05/01 19:51:17.02");
  const LogLine whole = parseLogLine(formatLogLine({0xF201, 0x0409, 0x0110, 0x494E}, time));
  EXPECT_EQ(whole.group, (RdsGroup{0xF201, 0x0409, 0x0110, 0x494E}));
  EXPECT_EQ(whole.time, time);
  const std::string lost = formatLogLine({0xD3C2, std::nullopt, 0x4142, std::nullopt}, {});
  EXPECT_EQ(lost, "D3C2 ---- 4142 ----");
  EXPECT_EQ(parseLogLine(lost).kind, Kind::MissingBlock);
}

struct RawCase {
  std::string_view name;
  RawFormat format;
  std::vector<std::uint8_t> bytes;
  std::vector<float> samples;
};

std::ostream& operator<<(std::ostream& out, const RawCase& row) {
  return out << row.name;
}

class RawSamplesTest : public ::testing::TestWithParam<RawCase> {};

// rtl_fm's and rtl_sdr's writes end anywhere, even inside a sample, and one read may end inside a
// sample after another did.
TEST_P(RawSamplesTest, AreTheSameHoweverTheBytesAreCut) {
  const std::span<const std::byte> bytes = std::as_bytes(std::span(GetParam().bytes));
  for (std::size_t first = 0; first <= bytes.size(); ++first) {
    for (std::size_t second = first; second <= bytes.size(); ++second) {
      RawSamples converter(GetParam().format);
      std::vector<float> samples;
      converter.convert(bytes.first(first), samples);
      converter.convert(bytes.subspan(first, second - first), samples);
      converter.convert(bytes.subspan(second), samples);
      EXPECT_EQ(samples, GetParam().samples) << "cut after bytes " << first << " and " << second;
      EXPECT_FALSE(converter.partial());
    }
  }
  RawSamples oneByteShort(GetParam().format);
  std::vector<float> samples;
  oneByteShort.convert(bytes.first(bytes.size() - 1), samples);
  EXPECT_TRUE(oneByteShort.partial());
}

INSTANTIATE_TEST_SUITE_P(Raw, RawSamplesTest,
                         ::testing::Values(RawCase{"Signed16BitMultiplex",
                                                   RawFormat::S16le,
                                                   {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x40, 0xFF, 0xFF},
                                                   {-1.0F, 32767.0F / 32768.0F, 0.5F,
                                                    -1.0F / 32768.0F}},
                                           RawCase{"Unsigned8BitIq",
                                                   RawFormat::Unsigned8Iq,
                                                   {0x00, 0xFF, 0x80, 0x7F, 0x40, 0xC0},
                                                   {-1.0F, 1.0F, 0.5F / 127.5F, -0.5F / 127.5F,
                                                    -63.5F / 127.5F, 64.5F / 127.5F}}),
                         testing::kRowName);

struct GapsCase {
  std::string_view name;
  std::vector<std::optional<Centiseconds>> stamps;  // after kMayDay; none: a line without one
  std::vector<std::chrono::milliseconds> gaps;
  std::uint64_t shortenedGaps = 0;
  std::uint64_t backwardSteps = 0;
};

class RecordedGapsTest : public ::testing::TestWithParam<GapsCase> {};

// Groups without a stamp come 250 ms apart; no gap is longer than 5 s.
TEST_P(RecordedGapsTest, FollowTheStampsWithinTheLimits) {
  RecordedGaps recordedGaps(250ms, 5s);
  std::vector<std::chrono::milliseconds> gaps;
  for (const auto& stamp : GetParam().stamps) {
    const auto time = stamp ? std::optional<LogTime>(kMayDay + *stamp) : std::nullopt;
    gaps.push_back(
        std::chrono::duration_cast<std::chrono::milliseconds>(recordedGaps.before(time)));
  }

  EXPECT_EQ(gaps, GetParam().gaps);
  EXPECT_EQ(recordedGaps.shortenedGaps(), GetParam().shortenedGaps);
  EXPECT_EQ(recordedGaps.backwardSteps(), GetParam().backwardSteps);
}

constexpr Centiseconds operator""_cs(unsigned long long centiseconds) {
  return Centiseconds(centiseconds);
}

INSTANTIATE_TEST_SUITE_P(
    TimedReplay, RecordedGapsTest,
    ::testing::Values(
        GapsCase{"StepsBetweenStamps", {0_cs, 50_cs, 150_cs, 150_cs}, {250ms, 500ms, 1s, 0ms}},
        GapsCase{"LongGapShortened", {0_cs, 2000_cs, 2050_cs}, {250ms, 5s, 500ms}, 1, 0},
        GapsCase{"ClockSetBackGoesAtOnce", {1000_cs, 900_cs, 950_cs}, {250ms, 0ms, 500ms}, 0, 1},
        GapsCase{"UnstampedLinesInBetweenKeepTheRecordedTime",
                 {std::nullopt, 0_cs, std::nullopt, std::nullopt, 100_cs},
                 {250ms, 250ms, 250ms, 250ms, 500ms}},
        GapsCase{"UnstampedLinesOverrunningTheNextStamp",
                 {0_cs, std::nullopt, std::nullopt, 20_cs},
                 {250ms, 250ms, 250ms, 0ms}}),
    testing::kRowName);

struct GoodCommandLine {
  std::string_view name;
  std::vector<std::string_view> arguments;
  FeedOptions expected;
};

std::ostream& operator<<(std::ostream& out, const GoodCommandLine& commandLine) {
  return out << commandLine.arguments;
}

class GoodCommandLineTest : public ::testing::TestWithParam<GoodCommandLine> {};

TEST_P(GoodCommandLineTest, GivesTheOptions) {
  const CommandLine parsed = parseCommandLine(GetParam().arguments);
  const auto* options = std::get_if<FeedOptions>(&parsed);
  ASSERT_NE(options, nullptr);
  const FeedOptions& expected = GetParam().expected;
  EXPECT_EQ(options->device, expected.device);
  EXPECT_TRUE(options->input == expected.input);
  EXPECT_EQ(options->groupsPerSecond, expected.groupsPerSecond);
  EXPECT_EQ(options->count, expected.count);
  EXPECT_EQ(options->strict, expected.strict);
  EXPECT_EQ(options->timed, expected.timed);
  EXPECT_EQ(options->maxGap, expected.maxGap);
  EXPECT_EQ(options->quiet, expected.quiet);
  EXPECT_EQ(options->hexLines, expected.hexLines);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, GoodCommandLineTest,
    ::testing::Values(
        GoodCommandLine{"DeviceOnly", {"/dev/pts/3"}, {.device = "/dev/pts/3"}},
        GoodCommandLine{
            "RateZeroAndLog",
            {"-r", "0", "/dev/pts/3", "log.txt"},
            {.device = "/dev/pts/3", .input = LogInput{"log.txt"}, .groupsPerSecond = 0}},
        GoodCommandLine{
            "StandardStreamsWithRateAndCount",
            {"--rate=2.5", "--count", "100", "-", "-"},
            {.device = "-", .input = LogInput{"-"}, .groupsPerSecond = 2.5, .count = 100}},
        GoodCommandLine{"OptionsAfterTheOperands",
                        {"--strict", "dev", "log", "-n", "7"},
                        {.device = "dev", .input = LogInput{"log"}, .count = 7, .strict = true}},
        GoodCommandLine{"DoubleDashBeforeADeviceLikeAnOption",
                        {"--count=1", "--", "-odd-device"},
                        {.device = "-odd-device", .count = 1}},
        GoodCommandLine{
            "Timed", {"--timed", "-", "-"}, {.device = "-", .input = LogInput{"-"}, .timed = true}},
        GoodCommandLine{"TimedWithMaxGapAndRate",
                        {"--max-gap=0.3", "--timed", "-r", "20", "dev", "log"},
                        {.device = "dev",
                         .input = LogInput{"log"},
                         .groupsPerSecond = 20,
                         .timed = true,
                         .maxGap = 300ms}},
        GoodCommandLine{"MpxRateBeforeTheModeIsSamplesASecond",
                        {"-r", "228k", "--mpx", "--hex", "-", "-"},
                        {.device = "-", .input = MultiplexInput{"-", 228'000}, .hexLines = true}},
        GoodCommandLine{"MpxLowestRate",
                        {"--mpx", "--rate=128k", "-", "-"},
                        {.device = "-", .input = MultiplexInput{"-", 128'000}}},
        GoodCommandLine{"MpxRateInMegaSamples",
                        {"--mpx", "--rate=0.25M", "-", "-"},
                        {.device = "-", .input = MultiplexInput{"-", 250'000}}},
        GoodCommandLine{"IqRateAndOffsetBelowTheCentre",
                        {"--iq", "--rate=2.4M", "--offset", "-200k", "--quiet", "-", "-"},
                        {.device = "-", .input = IqInput{"-", 2'400'000, -200'000}, .quiet = true}},
        GoodCommandLine{
            "IqFromADeviceTunedWithGainAndCorrection",
            {"--iq", "--device=driver=rtlsdr", "--frequency=94.5M", "--gain=20", "--ppm=-3", "-"},
            {.device = "-",
             .input = IqInput{.path = "",
                              .rate = std::nullopt,
                              .offsetHz = 0.0,
                              .device = DeviceChoice{"driver=rtlsdr", 20.0, -3.0},
                              .frequencyHz = 94'500'000}}}),
    testing::kRowName);

struct ScanCommandLine {
  std::string_view name;
  std::vector<std::string_view> arguments;
  ScanRequest expected;
};

std::ostream& operator<<(std::ostream& out, const ScanCommandLine& commandLine) {
  return out << commandLine.arguments;
}

class ScanCommandLineTest : public ::testing::TestWithParam<ScanCommandLine> {};

TEST_P(ScanCommandLineTest, GivesTheScan) {
  const CommandLine parsed = parseCommandLine(GetParam().arguments);
  const auto* request = std::get_if<ScanRequest>(&parsed);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(*request, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ScanCommandLineTest,
    ::testing::Values(
        ScanCommandLine{"RawCaptureWithItsCentre",
                        {"--scan", "--rate=2.048M", "--centre=94.5M", "--json", "-"},
                        {.path = "-", .rate = 2'048'000, .centreHz = 94'500'000, .json = true}},
        ScanCommandLine{"TheOnlyDeviceOverTheWholeBand",
                        {"--scan", "--device"},
                        {.path = "", .device = DeviceChoice{}}},
        ScanCommandLine{"PartOfTheBandThroughAChosenDevice",
                        {"--scan", "--device=driver=airspy", "--from=88M", "--to=90M", "--gain=9"},
                        {.path = "",
                         .device = DeviceChoice{"driver=airspy", 9.0, 0.0},
                         .fromHz = 88e6,
                         .toHz = 90e6}}),
    testing::kRowName);

struct BadCommandLine {
  std::string_view name;
  std::vector<std::string_view> arguments;
  std::string_view messagePart;
};

std::ostream& operator<<(std::ostream& out, const BadCommandLine& commandLine) {
  return out << commandLine.arguments;
}

class BadCommandLineTest : public ::testing::TestWithParam<BadCommandLine> {};

TEST_P(BadCommandLineTest, IsAUsageError) {
  const CommandLine parsed = parseCommandLine(GetParam().arguments);
  const auto* error = std::get_if<UsageError>(&parsed);
  ASSERT_NE(error, nullptr);
  EXPECT_NE(error->message.find(GetParam().messagePart), std::string::npos) << error->message;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, BadCommandLineTest,
    ::testing::Values(
        BadCommandLine{"NoDevice", {}, "missing DEVICE"},
        BadCommandLine{"ThreeOperands", {"a", "b", "c"}, "unexpected argument 'c'"},
        BadCommandLine{"RateNotANumber", {"--rate", "fast", "dev"}, "invalid rate 'fast'"},
        BadCommandLine{"NegativeRate", {"-r", "-1", "dev"}, "invalid rate '-1'"},
        BadCommandLine{"InfiniteRate", {"--rate=inf", "dev"}, "invalid rate"},
        BadCommandLine{"EmptyRate", {"--rate=", "dev"}, "invalid rate"},
        BadCommandLine{"RateWithoutValue", {"dev", "--rate"}, "'--rate' needs a value"},
        BadCommandLine{"ZeroCount", {"-n", "0", "dev"}, "invalid count '0'"},
        BadCommandLine{"CountWithALetter", {"-n", "12x", "dev"}, "invalid count"},
        BadCommandLine{"StrictWithAValue", {"--strict=yes", "dev", "log"}, "takes no value"},
        BadCommandLine{"StrictWithoutLog", {"--strict", "dev"}, "--strict needs a LOG"},
        BadCommandLine{"TimedWithoutLog", {"--timed", "dev"}, "--timed needs a LOG"},
        BadCommandLine{
            "MaxGapWithoutTimed", {"--max-gap=2", "dev", "log"}, "--max-gap needs --timed"},
        BadCommandLine{"ZeroGap", {"--timed", "--max-gap", "0", "dev", "log"}, "invalid gap '0'"},
        BadCommandLine{"HugeGap", {"--timed", "--max-gap=1e9", "dev", "log"}, "invalid gap"},
        BadCommandLine{"UnknownOption", {"--speed", "dev"}, "unknown option '--speed'"},
        BadCommandLine{"MpxWithoutInput", {"--mpx", "dev"}, "--mpx needs an INPUT"},
        BadCommandLine{"MpxRateTooLow", {"--mpx", "--rate=96000", "-", "-"}, "invalid sample rate"},
        BadCommandLine{
            "MpxRateForASoundFile", {"--mpx", "-r", "250k", "-", "a.flac"}, "--rate is for raw"},
        BadCommandLine{"IqRateOfAMultiplex", {"--iq", "--rate=171k", "-", "-"}, "from 900k"},
        BadCommandLine{"OffsetWithoutIq", {"--mpx", "--offset=100k", "-", "-"}, "--offset is for"},
        BadCommandLine{"MpxAndIq", {"--mpx", "--iq", "-", "-"}, "exclude each other"},
        BadCommandLine{"QuietWithoutASignal", {"--quiet", "-"}, "--quiet is for"},
        BadCommandLine{"ScanWithoutInput", {"--scan"}, "--scan needs an INPUT"},
        BadCommandLine{"ScanRateBeyondTheTuners", {"--scan", "--rate=4M", "-"}, "from 900k"},
        BadCommandLine{"ScanOfADeviceWithAnInput", {"--scan", "--device", "x.wav"}, "no INPUT"},
        BadCommandLine{"BandUpsideDown",
                       {"--scan", "--device", "--from=100M", "--to=90M"},
                       "--from must lie below --to"},
        BadCommandLine{"DeviceWithoutFrequency", {"--iq", "--device", "-"}, "needs --frequency"},
        BadCommandLine{"GainWithoutDevice", {"--iq", "--gain=20", "-", "-"}, "--gain is for"},
        BadCommandLine{"FrequencyOffTheBand",
                       {"--iq", "--device", "--frequency=5M", "-"},
                       "invalid frequency"},
        BadCommandLine{"JsonWithoutScan", {"--json", "-"}, "--json is for --scan"}),
    testing::kRowName);

TEST(CommandLine, HelpAndVersionNeedNoDevice) {
  EXPECT_TRUE(std::holds_alternative<HelpRequest>(parseCommandLine({"-h"})));
  EXPECT_TRUE(std::holds_alternative<HelpRequest>(parseCommandLine({"dev", "log", "--help"})));
  EXPECT_TRUE(std::holds_alternative<VersionRequest>(parseCommandLine({"-V"})));
  EXPECT_TRUE(std::holds_alternative<VersionRequest>(parseCommandLine({"--version", "dev"})));
}

struct ProbeCase {
  std::string_view name;
  std::string_view file;
  int rate;      // of a sound file to write; 0: the text written instead
  int channels;  // of the sound file
  std::string_view text;
  // --probe's answer, or the start of why the file is refused.
  std::string_view said;
};

class Probe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, TellsTheKindFromTheFileItself) {
  const ProbeCase& row = GetParam();
  const testing::TemporaryWorkingDirectory directory;
  const std::string file(row.file);
  if (row.rate > 0) {
    SF_INFO info{};
    info.samplerate = row.rate;
    info.channels = row.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sound = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sound, nullptr);
    const std::vector<short> silence(static_cast<std::size_t>(row.rate * row.channels / 4), 0);
    sf_writef_short(sound, silence.data(), row.rate / 4);
    sf_close(sound);
  } else {
    std::ofstream(file) << row.text;
  }
  const auto probed = probeRecording(file);
  if (const auto* problem = std::get_if<std::string>(&probed)) {
    EXPECT_TRUE(problem->starts_with(row.said)) << *problem;
    return;
  }
  EXPECT_EQ(describeRecording(file, std::get<Recording>(probed)), row.said);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, Probe,
    ::testing::Values(
        ProbeCase{"TwoChannelsAreIq", "a.wav", 1'024'000, 2, "",
                  "file: a.wav\nkind: iq\nrate: 1024000\nchannels: 2\nlength: 256000\n"
                  "seconds: 0.250\n"},
        ProbeCase{"OneChannelIsAMultiplex", "b.wav", 171'000, 1, "",
                  "file: b.wav\nkind: multiplex\nrate: 171000\nchannels: 1\nlength: 42750\n"
                  "seconds: 0.250\n"},
        ProbeCase{"AudioCannotCarryRds", "c.wav", 48'000, 2, "",
                  "file: c.wav\nkind: audio\nrate: 48000\nchannels: 2\nlength: 12000\n"
                  "seconds: 0.250\n"},
        ProbeCase{"RawIqByItsName", "d.cu8", 0, 0, "0123456789",
                  "file: d.cu8\nkind: raw-iq\nchannels: 2\nlength: 5\n"},
        ProbeCase{"GroupLogAfterAHeader", "e.txt", 0, 0,
                  "<log of a station>\nF201 0408 2037 2020\nF201 ---- 2037 2020\n",
                  "file: e.txt\nkind: log\nlength: 2\n"},
        ProbeCase{"TextIsRefused", "f.txt", 0, 0, "Dear listener,\n", "neither a sound file"}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor::feed
