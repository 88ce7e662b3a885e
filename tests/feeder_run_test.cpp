// SPDX-License-Identifier: GPL-3.0-or-later
// The real tavimor-feed program: its command line, files, signals, groups decoded from an FM
// multiplex signal, and its groups arriving in the monitor's window through pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>

#include <array>
#include <complex>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "app/monitor.h"
#include "decode/rds_group.h"
#include "tests/support/event_loop.h"
#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/pseudo_terminal_link.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"
#include "version.h"

namespace tavimor {
namespace {

using namespace std::chrono_literals;
using testing::readFile;
using testing::runEventLoopFor;
using testing::TemporaryWorkingDirectory;
using testing::waitUntil;
using testing::writeFile;

const QString kFeeder = QStringLiteral(TAVIMOR_FEED_EXECUTABLE);

struct Finished {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Only a guard against a hang: under the sanitizers, on two loaded cores, the feeder takes about
// 15 s to receive the stick's I/Q of these tests.
constexpr int kRunLimitMs = 180'000;

// input, if any, is the feeder's whole standard input.
Finished runFeeder(const QStringList& arguments, const QByteArray& input = {}) {
  QProcess feeder;
  feeder.start(kFeeder, arguments);
  if (!input.isEmpty()) {
    feeder.write(input);
    feeder.closeWriteChannel();
  }
  if (!feeder.waitForFinished(kRunLimitMs) || feeder.exitStatus() != QProcess::NormalExit)
    return {};
  return {feeder.exitCode(), feeder.readAllStandardOutput().toStdString(),
          feeder.readAllStandardError().toStdString()};
}

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

class FeederCommand : public ::testing::Test {
 protected:
  TemporaryWorkingDirectory workingDirectory;
};

TEST_F(FeederCommand, ReplaysALogAndCountsWhatItSkipped) {
  writeFile("bench.txt",
            "% Group log of a bench test\r\n"
            "1A2B 04B8 E244 5245 @2024/05/01 08:00:00.00\r\n"
            "1A2B ---- 0000 4142 @2024/05/01 08:00:00.09\r\n"
            "\r\n"
            "1A2B 04B9\r\n"
            "1A2B 2010 4142 0D20\r\n");

  const Finished run = runFeeder({"--rate", "0", "-", "bench.txt"});

  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, std::string("\x00\x1A\x2B\x04\xB8\xE2\x44\x52\x45"
                                 "\x00\x1A\x2B\x20\x10\x41\x42\x0D\x20",
                                 18));
  EXPECT_TRUE(contains(run.err, "bench.txt:5: expected four blocks, found 2\n")) << run.err;
  EXPECT_TRUE(
      contains(run.err, "sent 2 groups, skipped 1 group with a missing block and 1 malformed line"))
      << run.err;
}

TEST_F(FeederCommand, StrictEndsAtTheFirstMalformedLineWithAnError) {
  writeFile("bench.txt",
            "1A2B 04B8 E244 5245\n"
            "1A2B 04B9 E244 52\n"
            "1A2B 04BA E244 5245\n");

  const Finished run = runFeeder({"--strict", "-r", "0", "-", "bench.txt"});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, std::string("\x00\x1A\x2B\x04\xB8\xE2\x44\x52\x45", 9));
  EXPECT_TRUE(contains(run.err, "bench.txt:2: block D \"52\" is not four hex digits")) << run.err;
  EXPECT_TRUE(contains(run.err, "--strict")) << run.err;
}

struct UsageCase {
  std::string_view name;
  QStringList arguments;
};

std::ostream& operator<<(std::ostream& out, const UsageCase& row) {
  return out << row.name;
}

class BadUsage : public FeederCommand, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(BadUsage, ExitsWithTwoAndPointsToHelp) {
  const Finished run = runFeeder(GetParam().arguments);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(contains(run.err, "Try 'tavimor-feed --help'")) << run.err;
  EXPECT_TRUE(run.out.empty());
}

INSTANTIATE_TEST_SUITE_P(Arguments, BadUsage,
                         ::testing::Values(UsageCase{"None", {}},
                                           UsageCase{"NegativeRate", {"--rate", "-3", "-"}},
                                           UsageCase{"LoopOverStandardInput", {"--loop", "-"}},
                                           UsageCase{"ThreeOperands", {"a", "b", "c"}}),
                         testing::kRowName);

TEST_F(FeederCommand, HelpAndVersionGoToStandardOutput) {
  const Finished help = runFeeder({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: tavimor-feed [OPTION]... DEVICE [LOG]\n"));
  EXPECT_TRUE(help.err.empty());

  const Finished version = runFeeder({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "tavimor-feed " + std::string(kVersion) + "\n");
}

TEST_F(FeederCommand, AWrongDeviceOrLogIsAnErrorAndNoFileIsCreatedOrChanged) {
  const Finished noDevice = runFeeder({"ttyS4"});
  EXPECT_EQ(noDevice.exitCode, 1);
  EXPECT_EQ(noDevice.err, "tavimor-feed: ttyS4: no such device or file\n");
  EXPECT_FALSE(std::filesystem::exists("ttyS4"));

  // The log named where the device belongs.
  writeFile("bench.txt", "1A2B 04B8 E244 5245\n");
  const Finished swapped = runFeeder({"bench.txt", "-"});
  EXPECT_EQ(swapped.exitCode, 1);
  EXPECT_TRUE(contains(swapped.err, "tavimor-feed: bench.txt: is a regular file")) << swapped.err;
  EXPECT_EQ(readFile("bench.txt"), "1A2B 04B8 E244 5245\n");

  const Finished noLog = runFeeder({"-", "missing.txt"});
  EXPECT_EQ(noLog.exitCode, 1);
  EXPECT_TRUE(contains(noLog.err, "missing.txt: cannot open the log")) << noLog.err;
}

TEST_F(FeederCommand, DemoStationStopsAfterTheCountOfWholePackets) {
  const Finished run = runFeeder({"--rate=0", "--count=50", "-"});

  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.out.size(), 50u * 9);
  for (std::size_t lead = 0; lead < run.out.size(); lead += 9) {
    EXPECT_EQ(run.out[lead], '\0');
    EXPECT_EQ(run.out.substr(lead + 1, 2), "\xC5\xA3");
  }
  EXPECT_EQ(run.err, "tavimor-feed: sent 50 groups\n");
}

TEST_F(FeederCommand, TerminatingTheDemoStationEndsItCleanlyBetweenPackets) {
  QProcess feeder;
  feeder.start(kFeeder, {"-"});
  ASSERT_TRUE(waitUntil([&] { return feeder.bytesAvailable() >= qint64{18}; }, 10s));

  feeder.terminate();
  ASSERT_TRUE(feeder.waitForFinished(10'000));

  EXPECT_EQ(feeder.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(feeder.exitCode(), 0);
  const QByteArray packets = feeder.readAllStandardOutput();
  EXPECT_EQ(packets.size() % 9, 0);
  EXPECT_EQ(feeder.readAllStandardError().toStdString(),
            "tavimor-feed: sent " + std::to_string(packets.size() / 9) + " groups\n");
}

// The feeder's output, a FIFO that the test holds open for reading but does not read.
class UnreadFifo {
 public:
  UnreadFifo() {
    if (::mkfifo(kPath, 0600) == 0) fd_ = ::open(kPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  ~UnreadFifo() { closeReader(); }
  UnreadFifo(const UnreadFifo&) = delete;
  UnreadFifo& operator=(const UnreadFifo&) = delete;

  static constexpr const char* kPath = "out.fifo";
  bool open() const { return fd_ >= 0; }
  // All but two pages of it, which writes of a packet each may leave unused.
  int nearlyFull() const { return ::fcntl(fd_, F_GETPIPE_SZ) - 2 * 4096; }
  int waiting() const {
    int count = 0;
    ::ioctl(fd_, FIONREAD, &count);
    return count;
  }
  void closeReader() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct OutputFaultCase {
  std::string_view name;
  bool readerGoesAway;  // or else the output fills up and the feeder is told to stop
  int exitCode;
  std::string_view reportPart;
};

std::ostream& operator<<(std::ostream& out, const OutputFaultCase& row) {
  return out << row.name;
}

class OutputFault : public FeederCommand, public ::testing::WithParamInterface<OutputFaultCase> {};

// Neither a reader that stops reading nor one that goes away may hang the feeder or kill it
// without its counts.
TEST_P(OutputFault, EndsTheFeederWithItsCounts) {
  UnreadFifo fifo;
  ASSERT_TRUE(fifo.open());
  QProcess feeder;
  feeder.start(kFeeder, {"--rate=0", UnreadFifo::kPath});
  // The feeder then waits in its write.
  ASSERT_TRUE(waitUntil([&] { return fifo.waiting() >= fifo.nearlyFull(); }, 10s))
      << fifo.waiting();
  if (GetParam().readerGoesAway) {
    fifo.closeReader();
  } else {
    feeder.terminate();
  }
  ASSERT_TRUE(feeder.waitForFinished(10'000)) << "still in its write";

  EXPECT_EQ(feeder.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(feeder.exitCode(), GetParam().exitCode);
  const std::string report = feeder.readAllStandardError().toStdString();
  EXPECT_TRUE(contains(report, GetParam().reportPart)) << report;
  EXPECT_TRUE(contains(report, "tavimor-feed: sent ")) << report;
}

INSTANTIATE_TEST_SUITE_P(
    FeederCommand, OutputFault,
    ::testing::Values(OutputFaultCase{"StoppedWhileTheOutputIsFull", false, 0, "sent "},
                      OutputFaultCase{"TheReaderGoesAway", true, 1,
                                      "tavimor-feed: out.fifo: nothing reads it any more\n"}),
    testing::kRowName);

TEST_F(FeederCommand, AClosedStandardInputIsAnErrorNotAnEndlessWait) {
  QProcess shell;
  shell.start("sh", {"-c", "exec \"$0\" --mpx --hex - - <&-", kFeeder});
  ASSERT_TRUE(shell.waitForFinished(30'000));
  EXPECT_EQ(shell.exitCode(), 1);
  EXPECT_EQ(shell.readAllStandardError().toStdString(),
            "tavimor-feed: -: standard input is closed\n");
}

// A FIFO as the device holds the feeder in its open until a reader comes; a stop ends that wait.
// A stop that came before the feeder's own handlers were in place would be lost, not kill it, so
// one goes every tenth of a second until it ends.
TEST_F(FeederCommand, StoppedWhileAFifoWaitsForItsReaderEndsWithItsCounts) {
  ASSERT_EQ(::mkfifo(UnreadFifo::kPath, 0600), 0);
  QProcess feeder;
  feeder.setChildProcessModifier([] { ::signal(SIGTERM, SIG_IGN); });
  feeder.start(kFeeder, {UnreadFifo::kPath});
  ASSERT_TRUE(feeder.waitForStarted());
  EXPECT_TRUE(waitUntil(
      [&] {
        feeder.terminate();
        return feeder.waitForFinished(100);
      },
      10s))
      << "still waiting for its reader";
  EXPECT_EQ(feeder.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(feeder.exitCode(), 0);
  EXPECT_EQ(feeder.readAllStandardError().toStdString(), "tavimor-feed: sent 0 groups\n");
}

// The highest rates --help gives for raw samples are taken, and the receiver runs at them.
TEST_F(FeederCommand, TakesRawSamplesAtTheHighestRatesItGives) {
  for (const auto& [mode, rate, perSecond, zero] :
       {std::tuple{"--mpx", "10M", qsizetype{10'000'000}, '\0'},
        {"--iq", "3.2M", qsizetype{3'200'000}, '\x80'}}) {
    // Two bytes a sample: signed 16-bit, or unsigned 8-bit I and Q.
    const QByteArray tenthOfASecond(perSecond / 10 * 2, zero);
    const Finished run = runFeeder({mode, QString("--rate=") + rate, "-", "-"}, tenthOfASecond);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "no RDS found in 0.1 s of signal")) << run.err;
  }
}

constexpr qint64 kPacketBytes = 9;

// Group i of a made-up station, as a log line and as the packet the feeder sends for it.
std::string groupLine(unsigned i) {
  std::array<char, 32> line{};
  std::snprintf(line.data(), line.size(), "1A2B 2000 4142 %04X\n", i);
  return line.data();
}
std::string groupPacket(unsigned i) {
  return std::string("\x00\x1A\x2B\x20\x00\x41\x42", 7) + static_cast<char>(i >> 8) +
         static_cast<char>(i & 0xFF);
}

// A station's multiplex as raw signed 16-bit samples, as rtl_fm writes it.
QByteArray rawMultiplex(const std::vector<float>& samples) {
  QByteArray raw;
  for (const float sample : samples) {
    const auto value = static_cast<std::int16_t>(sample * 32767.0F);
    raw.append(static_cast<char>(value & 0xFF));
    raw.append(static_cast<char>((value >> 8) & 0xFF));
  }
  return raw;
}

bool packetsOut(QProcess& feeder, std::size_t packets, std::chrono::milliseconds limit) {
  return waitUntil(
      [&] { return feeder.bytesAvailable() / kPacketBytes >= static_cast<qint64>(packets); },
      limit);
}

// A live source brings a group about every 88 ms; each must go out at once, not when more input
// comes (the pauses are longer than the bound) nor held back to a pace (the burst).
TEST_F(FeederCommand, LiveInputGoesOutAsSoonAsEachLineArrives) {
  // A line held back waits for more input that never comes; generous bounds for a loaded machine.
  constexpr auto kBound = 1000ms;
  // Paced at 11.4 groups a second, the burst would take 965 ms.
  constexpr auto kBurstBound = 700ms;
  QProcess feeder;
  feeder.start(kFeeder, {"-", "-"});
  ASSERT_TRUE(feeder.waitForStarted());
  QElapsedTimer sinceWritten;
  const auto writeLines = [&](const std::string& lines) {
    feeder.write(lines.data(), static_cast<qint64>(lines.size()));
    ASSERT_TRUE(feeder.waitForBytesWritten(1000));
    sinceWritten.start();
  };

  for (unsigned i = 0; i < 3; ++i) {
    writeLines(groupLine(i));
    EXPECT_TRUE(packetsOut(feeder, i + 1, kBound))
        << "group " << i << " not out " << sinceWritten.elapsed() << " ms after its line";
    runEventLoopFor(300ms);
  }
  writeLines("1A2B ---- 0000 4142\n");
  std::string burst;
  for (unsigned i = 3; i < 15; ++i)
    burst += groupLine(i);
  writeLines(burst);
  EXPECT_TRUE(packetsOut(feeder, 15, kBurstBound))
      << "a burst of 12 groups not out " << sinceWritten.elapsed() << " ms after its lines";
  feeder.closeWriteChannel();
  ASSERT_TRUE(feeder.waitForFinished(10'000));

  EXPECT_EQ(feeder.exitCode(), 0);
  std::string packets;
  for (unsigned i = 0; i < 15; ++i)
    packets += groupPacket(i);
  EXPECT_EQ(feeder.readAllStandardOutput().toStdString(), packets);
  EXPECT_EQ(feeder.readAllStandardError().toStdString(),
            "tavimor-feed: sent 15 groups, skipped 1 group with a missing block and 0 malformed "
            "lines\n");
}

struct TimedCase {
  std::string_view name;
  QStringList options;
  std::string log;
  std::vector<std::chrono::milliseconds> gaps;
  std::string_view reportPart;
};

std::ostream& operator<<(std::ostream& out, const TimedCase& timedCase) {
  return out << timedCase.name;
}

class TimedReplay : public FeederCommand, public ::testing::WithParamInterface<TimedCase> {};

TEST_P(TimedReplay, SpacesTheGroupsAsTheyWereRecorded) {
  writeFile("bench.txt", GetParam().log);
  QProcess feeder;
  feeder.start(kFeeder, QStringList(GetParam().options) << "-"
                                                        << "bench.txt");
  QElapsedTimer clock;
  clock.start();
  std::vector<qint64> arrivals;
  waitUntil(
      [&] {
        while (feeder.bytesAvailable() / kPacketBytes > static_cast<qint64>(arrivals.size()))
          arrivals.push_back(clock.elapsed());
        return arrivals.size() == GetParam().gaps.size() + 1;
      },
      10s);
  ASSERT_TRUE(waitUntil([&] { return feeder.state() == QProcess::NotRunning; }, 10s));

  ASSERT_EQ(arrivals.size(), GetParam().gaps.size() + 1);
  for (std::size_t i = 0; i < GetParam().gaps.size(); ++i) {
    const qint64 expected = GetParam().gaps[i].count();
    EXPECT_GE(arrivals[i + 1] - arrivals[i], expected - 150) << "gap before group " << i + 1;
    EXPECT_LE(arrivals[i + 1] - arrivals[i], expected + 250) << "gap before group " << i + 1;
  }
  EXPECT_EQ(feeder.exitCode(), 0);
  const std::string report = feeder.readAllStandardError().toStdString();
  EXPECT_TRUE(contains(report, GetParam().reportPart)) << report;
}

INSTANTIATE_TEST_SUITE_P(
    FeederCommand, TimedReplay,
    ::testing::Values(
        TimedCase{"AtTheRecordedTimes",
                  {"--timed"},
                  "1A2B 2000 4142 0000 @2024/05/01 08:00:00.00\n"
                  "1A2B 2000 4142 0001 @2024/05/01 08:00:00.50\n"
                  "1A2B ---- 4142 0002 @2024/05/01 08:00:01.00\n"
                  "1A2B 2000 4142 0003 @2024/05/01 08:00:01.50\n",
                  {500ms, 1000ms},
                  "sent 3 groups, skipped 1 group with a missing block and 0 malformed lines, "
                  "shortened 0 gaps to 5 s, 0 timestamps went backwards\n"},
        TimedCase{"LongGapShortenedAndClockSetBackNotWaitedFor",
                  {"--timed", "--max-gap=0.8"},
                  "1A2B 2000 4142 0000 @2024/05/01 23:59:50.00\n"
                  "1A2B 2000 4142 0001 @2024/05/02 00:00:10.00\n"
                  "1A2B 2000 4142 0002 @2024/05/02 00:00:09.00\n"
                  "1A2B 2000 4142 0003 @2024/05/02 00:00:09.50\n",
                  {800ms, 0ms, 500ms},
                  "shortened 1 gap to 0.8 s, 1 timestamp went backwards\n"}),
    testing::kRowName);

struct WaitingCase {
  std::string_view name;
  QStringList arguments;
  std::string log;         // in bench.txt
  std::string (*input)();  // on standard input, which stays open
  std::string_view reportPart = "sent 1 group,";
};

std::ostream& operator<<(std::ostream& out, const WaitingCase& waitingCase) {
  return out << waitingCase.name;
}

class StopWhileWaiting : public FeederCommand, public ::testing::WithParamInterface<WaitingCase> {};

TEST_P(StopWhileWaiting, EndsItPromptlyAndReportsWhatItSent) {
  writeFile("bench.txt", GetParam().log);
  QProcess feeder;
  feeder.start(kFeeder, GetParam().arguments);
  ASSERT_TRUE(feeder.waitForStarted());
  const std::string input = GetParam().input();
  feeder.write(input.data(), static_cast<qint64>(input.size()));
  ASSERT_TRUE(packetsOut(feeder, 1, 5s));
  runEventLoopFor(200ms);

  QElapsedTimer sinceTerminated;
  sinceTerminated.start();
  feeder.terminate();
  ASSERT_TRUE(feeder.waitForFinished(2000)) << "still running";

  EXPECT_LT(sinceTerminated.elapsed(), 1000);
  EXPECT_EQ(feeder.exitCode(), 0);
  const std::string report = feeder.readAllStandardError().toStdString();
  EXPECT_TRUE(contains(report, GetParam().reportPart)) << report;
}

INSTANTIATE_TEST_SUITE_P(
    FeederCommand, StopWhileWaiting,
    ::testing::Values(WaitingCase{"ForLiveInput", {"-", "-"}, {}, [] { return groupLine(0); }},
                      WaitingCase{"ThroughALongRecordedGap",
                                  {"--timed", "--max-gap=60", "-", "bench.txt"},
                                  "1A2B 2000 4142 0000 @2024/05/01 08:00:00.00\n"
                                  "1A2B 2000 4142 0001 @2024/05/01 08:00:50.00\n",
                                  [] { return std::string(); }},
                      // Half a second of a station, then nothing more on the pipe.
                      WaitingCase{"ForSamplesOnAPipe",
                                  {"--mpx", "--rate=128k", "--hex", "-", "-"},
                                  {},
                                  [] {
                                    testing::MpxSignalOptions options;
                                    options.sampleRate = 128'000;
                                    return rawMultiplex(testing::synthesizeMpx(
                                                            testing::randomGroups(5, 13), options)
                                                            .samples)
                                        .toStdString();
                                  },
                                  "; sent "}),
    testing::kRowName);

// The feeder writes into one pseudo-terminal, the monitor's window reads the other.
class FeederIntoWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(monitor.start()) << reporter.errors.size(); }

  QString label(const char* name) {
    return monitor.window().findChild<QLabel*>(QLatin1String(name))->text();
  }

  // Runs the feeder to its end, and until the window shows what it sent.
  Finished feed(QStringList options, const QString& log, const std::function<bool()>& windowDone) {
    QStringList arguments = options << QString::fromStdString(link.writerDevice());
    if (!log.isEmpty()) arguments << log;
    QProcess feeder;
    feeder.start(kFeeder, arguments);
    const bool done =
        waitUntil([&] { return feeder.state() == QProcess::NotRunning && windowDone(); }, 30s);
    EXPECT_TRUE(done) << feeder.readAllStandardError().toStdString();
    return {feeder.exitCode(), {}, feeder.readAllStandardError().toStdString()};
  }

  TemporaryWorkingDirectory workingDirectory;
  testing::RecordingReporter reporter;
  testing::PseudoTerminalLink link;
  Monitor monitor{QString::fromStdString(link.readerDevice()), reporter};
};

// 342 groups are the first 30 s on air: the second RadioText, and the traffic announcement on.
TEST_F(FeederIntoWindow, DemoStationShowsItsNameTextsAndTrafficAnnouncement) {
  const QString trafficText =
      QStringLiteral("Traffic: roadworks on the Orvin ring road, expect short delays  ");
  const Finished run = feed({"--rate", "0", "--count", "342"}, {}, [&] {
    return label("lblTraffic") == "TRAFFIC ANNOUNCEMENT" && label("lblRadioText") == trafficText;
  });

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "tavimor-feed: sent 342 groups\n");
  EXPECT_EQ(label("lblPI"), "C5A3");
  EXPECT_EQ(label("lblPS"), "ORVENTA ");
  EXPECT_EQ(label("lblPTY"), "3 - Information");
  EXPECT_EQ(label("lblTP"), "1");
  EXPECT_EQ(label("lblTA"), "1");
  EXPECT_EQ(label("lblMS"), "0");
  EXPECT_EQ(label("lblDIdynPTY") + label("lblDIcomp") + label("lblDIhead") + label("lblDIstereo"),
            "1001");
  EXPECT_EQ(label("lblRTA"), QString::fromUtf8("Now playing: Ilse Brönholm & the Kovač Trio - "
                                               "Summer in Lände   "));
  EXPECT_EQ(label("lblRTB"), trafficText);
  EXPECT_EQ(label("lblTraffic"), "TRAFFIC ANNOUNCEMENT");
  EXPECT_EQ(readFile("traffic.txt"), " 1 \r\n");
}

TEST_F(FeederIntoWindow, ALogIsReplayedWithoutTheGroupsMissingABlock) {
  writeFile("bench.txt",
            "% Group log of a bench test\n"
            "1A2B 04B8 0000 5245 @2024/05/01 08:00:00.00\n"
            "1A2B 04B9 0000 504C @2024/05/01 08:00:00.09\n"
            "1A2B 04BA 0000 4159 @2024/05/01 08:00:00.18\n"
            "1A2B 04BB 0000 4544 @2024/05/01 08:00:00.26\n"
            "1A2B 04BA ---- 5A5A @2024/05/01 08:00:00.35\n");

  const Finished run =
      feed({"--rate", "100"}, "bench.txt", [&] { return label("lblPS") == "REPLAYED"; });

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(contains(run.err, "sent 4 groups, skipped 1 group with a missing block")) << run.err;
  EXPECT_EQ(label("lblPI"), "1A2B");
  EXPECT_EQ(label("lblPTY"), "5 - Education");
  EXPECT_EQ(label("lblTraffic"), "TRAFFIC ANNOUNCEMENT");
}

// An FM multiplex signal, synthesized: a recording read with libsndfile, and raw samples as
// rtl_fm writes them. Groups sent before the decoder has found the blocks are not expected back.
constexpr std::size_t kLeadIn = 3;
constexpr std::size_t kGroups = 30;

// The groups after the lead-in, as the feeder's hex lines begin.
std::vector<std::string> hexGroupsAfterLeadIn(const std::vector<RdsGroup>& groups) {
  std::vector<std::string> lines;
  for (std::size_t i = kLeadIn; i < groups.size(); ++i) {
    std::array<char, 24> line{};
    std::snprintf(line.data(), line.size(), "%04X %04X %04X %04X", groups[i].a, groups[i].b,
                  groups[i].c, groups[i].d);
    lines.emplace_back(line.data());
  }
  return lines;
}

// The last lines of the output, cut to their blocks.
std::vector<std::string> lastHexGroups(const std::string& out, std::size_t count) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < out.size();) {
    const std::size_t end = out.find('\n', start);
    lines.push_back(out.substr(start, std::min<std::size_t>(19, end - start)));
    start = end == std::string::npos ? out.size() : end + 1;
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<long>(count));
  return lines;
}

void writeWav(const std::string& path, const std::vector<float>& frames, int channels,
              int sampleRate, int encoding) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | encoding;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
  sf_close(file);
}

// A stereo file whose second channel holds something else, as a recorder's may.
void writeTwoChannelWav(const std::string& path, const std::vector<float>& firstChannel,
                        int sampleRate) {
  std::vector<float> frames;
  for (std::size_t i = 0; i < firstChannel.size(); ++i) {
    frames.push_back(firstChannel[i]);
    frames.push_back(i % 2 == 0 ? 0.5F : -0.5F);
  }
  writeWav(path, frames, 2, sampleRate, SF_FORMAT_PCM_16);
}

// A recording as a recorder may leave it: whole, still being written (its header not yet telling
// its length), or cut short.
struct RecordingCase {
  std::string_view name;
  std::function<void(std::string&)> change;
  int exitCode;
  std::string_view reportPart;
};

std::ostream& operator<<(std::ostream& out, const RecordingCase& row) {
  return out << row.name;
}

class MultiplexRecording : public FeederCommand,
                           public ::testing::WithParamInterface<RecordingCase> {};

TEST_P(MultiplexRecording, IsDecodedFromItsFirstChannelIntoLogLines) {
  const std::vector<RdsGroup> sent = testing::randomGroups(kGroups, 11);
  testing::MpxSignalOptions options;
  options.sampleRate = 192'000;
  options.programme = testing::Programme::Stereo;
  const testing::MpxSignal signal = testing::synthesizeMpx(sent, options);
  writeTwoChannelWav("station.wav", signal.samples, 192'000);
  std::string file = readFile("station.wav");
  GetParam().change(file);
  writeFile("station.wav", file);

  const Finished run = runFeeder({"--mpx", "--hex", "-", "station.wav"});

  ASSERT_EQ(run.exitCode, GetParam().exitCode) << run.err;
  EXPECT_TRUE(contains(run.err, GetParam().reportPart)) << run.err;
  if (run.exitCode == 0) {
    const std::vector<std::string> expected = hexGroupsAfterLeadIn(sent);
    EXPECT_EQ(lastHexGroups(run.out, expected.size()), expected);
  }
}

void setLengths(std::string& wav, char byte) {
  const std::size_t data = wav.find("data");
  for (const std::size_t at : {std::size_t{4}, data + 4})
    wav.replace(at, 4, 4, byte);
}

INSTANTIATE_TEST_SUITE_P(
    FeederCommand, MultiplexRecording,
    ::testing::Values(RecordingCase{"Whole", [](std::string&) {}, 0, "decoded "},
                      RecordingCase{"StillBeingWritten",
                                    [](std::string& wav) { setLengths(wav, '\0'); }, 0, "decoded "},
                      RecordingCase{"CutShort",
                                    [](std::string& wav) { wav.resize(wav.size() / 2); }, 1,
                                    "station.wav: is cut short"}),
    testing::kRowName);

// A fade takes a block of one group: the log lines keep that group with "----", the packets
// skip it, and --count counts the packets sent. Live input has the reception status line,
// unless --quiet.
TEST_F(FeederCommand, DecodesRawMultiplexSamplesIntoLogLinesOrPackets) {
  const std::vector<RdsGroup> sent = testing::randomGroups(kGroups, 12);
  testing::MpxSignalOptions options;
  options.sampleRate = 228'000;
  options.fades = {{1.5, 1.52}};
  const QByteArray raw = rawMultiplex(testing::synthesizeMpx(sent, options).samples);

  // Half the signal, more than a second's pause, then the rest: a status line is due.
  const auto runPaced = [&](const QStringList& options) {
    QProcess feeder;
    feeder.start(kFeeder, QStringList(options) << "--mpx"
                                               << "--rate=228k"
                                               << "-"
                                               << "-");
    feeder.write(raw.first(raw.size() / 2));
    EXPECT_TRUE(waitUntil([&] { return feeder.bytesAvailable() > 0; }, 10s));
    runEventLoopFor(1100ms);
    feeder.write(raw.sliced(raw.size() / 2));
    feeder.closeWriteChannel();
    EXPECT_TRUE(feeder.waitForFinished(kRunLimitMs));
    return Finished{feeder.exitCode(), feeder.readAllStandardOutput().toStdString(),
                    feeder.readAllStandardError().toStdString()};
  };

  const Finished lines = runPaced({"--hex", "--quiet"});
  ASSERT_EQ(lines.exitCode, 0) << lines.err;
  EXPECT_TRUE(lines.err.starts_with("tavimor-feed: decoded ")) << lines.err;
  // The whole groups as packets, and how many groups with a lost block come before each.
  std::string wholeGroups;
  std::vector<std::size_t> skippedBefore;
  std::size_t skipped = 0;
  for (const std::string& line : lastHexGroups(lines.out, kGroups)) {
    if (line.find("----") != std::string::npos) {
      ++skipped;
      continue;
    }
    std::istringstream fields(line);
    std::array<unsigned, 4> blocks{};
    fields >> std::hex >> blocks[0] >> blocks[1] >> blocks[2] >> blocks[3];
    ASSERT_TRUE(fields) << line;
    const auto block = [&](std::size_t i) { return static_cast<std::uint16_t>(blocks.at(i)); };
    const PacketBytes packet = toPacket({block(0), block(1), block(2), block(3)});
    wholeGroups.append(reinterpret_cast<const char*>(packet.data()), packet.size());
    skippedBefore.push_back(skipped);
  }
  ASSERT_GE(skippedBefore.size(), kGroups - kLeadIn - 1);
  const std::size_t count = skippedBefore.size() - 1;
  ASSERT_GE(skippedBefore[count - 1], std::size_t{1}) << "the fade cost no block: " << lines.out;

  const Finished packets = runPaced({"--count=" + QString::number(count)});
  const std::string& report = packets.err;
  EXPECT_EQ(packets.exitCode, 0) << report;
  EXPECT_EQ(packets.out, wholeGroups.substr(0, count * kPacketBytes));
  EXPECT_TRUE(contains(report, "groups\ntavimor-feed: decoded ")) << report;
  EXPECT_TRUE(contains(report, "; sent " + std::to_string(count) + " groups, skipped " +
                                   std::to_string(skippedBefore[count - 1]) + " with a lost block"))
      << report;
}

// A stick's recording of two stations, 300 kHz either side of its centre, as rtl_sdr's raw bytes
// and as a two-channel float WAV file; and each station's groups.
struct TwoStations {
  static constexpr double kRate = 1'200'000.0;
  static constexpr double kOffset = 300'000.0;
  // Where the files are, for all the rows.
  TemporaryWorkingDirectory home;
  std::vector<RdsGroup> below = testing::randomGroups(kGroups, 21);
  std::vector<RdsGroup> above = testing::randomGroups(kGroups, 22);
  QByteArray raw;

  TwoStations() {
    std::vector<std::complex<float>> iq = station(below, -kOffset, 1);
    const std::vector<std::complex<float>> other = station(above, kOffset, 2);
    iq.resize(std::min(iq.size(), other.size()));
    for (std::size_t i = 0; i < iq.size(); ++i)
      iq[i] += other[i];
    testing::addCarrierNoise(iq, 1.0, 40.0, kRate, 3);
    const std::vector<std::uint8_t> bytes = testing::toUnsigned8(iq, 0.3);
    raw = QByteArray(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<qsizetype>(bytes.size()));
    std::vector<float> frames;
    for (const std::complex<float> sample : testing::fromUnsigned8(bytes)) {
      frames.push_back(sample.real());
      frames.push_back(sample.imag());
    }
    writeWav("band.wav", frames, 2, static_cast<int>(kRate), SF_FORMAT_FLOAT);
    frames.resize(frames.size() / 2);
    writeWav("mono.wav", frames, 1, static_cast<int>(kRate), SF_FORMAT_FLOAT);
  }

  static std::vector<std::complex<float>> station(const std::vector<RdsGroup>& groups,
                                                  double offset, std::uint32_t seed) {
    testing::MpxSignalOptions options;
    options.sampleRate = kRate;
    options.programme = testing::Programme::Stereo;
    options.seed = seed;
    return testing::modulateFm(testing::synthesizeMpx(groups, options).samples, kRate,
                               {.carrierOffsetHz = offset, .echoes = {}});
  }
};

struct IqCase {
  std::string_view name;
  QStringList arguments;   // then "-" and INPUT
  std::string_view input;  // a file of TwoStations, or "-" for its raw bytes, "odd" one short
  int exitCode;
  std::string_view reportPart;
  bool above;  // whose groups are expected, when it succeeds
};

std::ostream& operator<<(std::ostream& out, const IqCase& row) {
  return out << row.name;
}

class IqInput : public FeederCommand, public ::testing::WithParamInterface<IqCase> {
 protected:
  static void SetUpTestSuite() { stations = std::make_unique<TwoStations>(); }
  static void TearDownTestSuite() { stations.reset(); }
  static std::unique_ptr<TwoStations> stations;
};
std::unique_ptr<TwoStations> IqInput::stations;

// The stick's I/Q received here, the station picked by its offset; input that cannot be I/Q of a
// station is an error that says why.
TEST_P(IqInput, GivesTheChosenStationOrSaysWhyNot) {
  const IqCase& row = GetParam();
  const bool raw = row.input == "-" || row.input == "odd";
  QByteArray input = raw ? stations->raw : QByteArray();
  if (row.input == "odd") input.chop(1);
  const std::filesystem::path file = stations->home.path() / std::string(row.input);
  const Finished run = runFeeder(QStringList(row.arguments) << "--hex"
                                                            << "-" << (raw ? "-" : file.c_str()),
                                 input);

  ASSERT_EQ(run.exitCode, row.exitCode) << run.err;
  EXPECT_TRUE(contains(run.err, row.reportPart)) << run.err;
  if (row.exitCode != 0) return;
  const std::vector<std::string> expected =
      hexGroupsAfterLeadIn(row.above ? stations->above : stations->below);
  EXPECT_EQ(lastHexGroups(run.out, expected.size()), expected);
  const std::string otherPi =
      hexGroupsAfterLeadIn(row.above ? stations->below : stations->above).front().substr(0, 4);
  EXPECT_FALSE(contains(run.out, otherPi)) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    FeederCommand, IqInput,
    ::testing::Values(
        IqCase{"RawBytesOfTheStationBelowTheCentre",
               {"--iq", "--rate=1.2M", "--offset=-300k"},
               "-",
               0,
               "decoded ",
               false},
        IqCase{
            "WavFileOfTheStationAbove", {"--iq", "--offset=300k"}, "band.wav", 0, "decoded ", true},
        IqCase{"OneChannel",
               {"--iq"},
               "mono.wav",
               1,
               "mono.wav: holds 1 channel, and I/Q takes two",
               false},
        IqCase{"RawBytesEndingInsideASample",
               {"--iq", "--rate=1.2M", "--offset=-300k"},
               "odd",
               1,
               "ended halfway through a sample",
               false},
        IqCase{
            "WrongRate", {"--iq", "--rate=2.4M", "--offset=-300k"}, "-", 1, "no RDS found", false}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor
