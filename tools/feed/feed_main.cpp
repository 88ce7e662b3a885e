// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-feed: writes RDS groups to a serial device or pseudo-terminal as a receiver would.
#include <QCoreApplication>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <variant>

#include "mpx/mpx_decoder.h"
#include "tools/feed/demo_station.h"
#include "tools/feed/feed_options.h"
#include "tools/feed/group_log.h"
#include "tools/feed/live_input.h"
#include "tools/feed/mpx_input.h"
#include "tools/feed/pacer.h"
#include "tools/feed/packet_writer.h"
#include "version.h"

namespace tavimor::feed {
namespace {

constexpr std::string_view kProgramName = "tavimor-feed";
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> stopRequested{false};

void requestStop(int /*signal*/) {
  stopRequested = true;
}

std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + ' ' + std::string(thing) + (count == 1 ? "" : "s");
}

void reportError(std::string_view subject, std::string_view problem) {
  std::cerr << kProgramName << ": " << subject << ": " << problem << '\n';
}

// The log, or standard input for "-": std::cin if it is a file, read as lines arrive if not.
struct OpenLog {
  std::unique_ptr<std::streambuf> liveInput;
  std::unique_ptr<std::istream> ownStream;
  std::istream* stream = nullptr;
  bool live = false;
};

std::optional<OpenLog> openLog(const std::string& name) {
  if (name == "-" && isLiveInput(STDIN_FILENO)) {
    auto liveInput = std::make_unique<LiveInputBuffer>(STDIN_FILENO, stopRequested);
    auto stream = std::make_unique<std::istream>(liveInput.get());
    std::istream* streamPointer = stream.get();
    return OpenLog{std::move(liveInput), std::move(stream), streamPointer, true};
  }
  if (name == "-") return OpenLog{nullptr, nullptr, &std::cin, false};
  if (std::filesystem::is_directory(name)) {
    reportError(name, "is a directory");
    return std::nullopt;
  }
  auto file = std::make_unique<std::ifstream>(name);
  if (!*file) {
    reportError(name, "cannot open the log");
    return std::nullopt;
  }
  std::istream* stream = file.get();
  return OpenLog{nullptr, std::move(file), stream, false};
}

struct Outcome {
  std::uint64_t sent = 0;
  bool writeFailed = false;
};

LogBlocks blocksOf(const RdsGroup& group) {
  return {group.a, group.b, group.c, group.d};
}

// Where the groups go: packets, or with --hex log lines that keep lost blocks and the time.
class GroupOutput {
 public:
  GroupOutput(PacketWriter& writer, bool hexLines) : writer_(writer), hexLines_(hexLines) {}

  // Only a whole group can be a packet.
  bool takes(const LogBlocks& blocks) const {
    return hexLines_ ||
           std::ranges::all_of(blocks, [](const auto& block) { return block.has_value(); });
  }

  bool send(const LogBlocks& blocks, const std::optional<LogTime>& time) {
    if (hexLines_) return writer_.writeLine(formatLogLine(blocks, time), stopRequested);
    return writer_.write(toPacket({*blocks[0], *blocks[1], *blocks[2], *blocks[3]}), stopRequested);
  }

 private:
  PacketWriter& writer_;
  bool hexLines_;
};

std::optional<LogTime> timeNow() {
  return std::chrono::floor<Centiseconds>(std::chrono::system_clock::now());
}

// gapBeforeGroup tells how long after the group before the one just taken is due.
// timeOfGroup tells the time of the group just taken, for log lines.
Outcome sendGroups(GroupSource& source, GroupOutput& output, std::optional<std::uint64_t> count,
                   const std::function<PaceClock::duration()>& gapBeforeGroup,
                   const std::function<std::optional<LogTime>()>& timeOfGroup) {
  Pacer pacer;
  Outcome outcome;
  while (!stopRequested && (!count || outcome.sent < *count)) {
    const std::optional<RdsGroup> group = source.next();
    if (!group || !pacer.waitForTurn(gapBeforeGroup(), stopRequested)) break;
    if (!output.send(blocksOf(*group), timeOfGroup())) {
      outcome.writeFailed = !stopRequested;
      break;
    }
    ++outcome.sent;
  }
  return outcome;
}

std::string seconds(std::chrono::milliseconds duration) {
  std::ostringstream text;
  text << std::chrono::duration<double>(duration).count() << " s";
  return text.str();
}

void reportLogCounts(const Outcome& outcome, const GroupLogReader& reader,
                     const RecordedGaps* recordedGaps, std::chrono::milliseconds maxGap) {
  std::cerr << kProgramName << ": sent " << counted(outcome.sent, "group") << ", skipped "
            << counted(reader.groupsWithMissingBlock(), "group") << " with a missing block and "
            << counted(reader.malformedLines(), "malformed line");
  if (recordedGaps) {
    std::cerr << ", shortened " << counted(recordedGaps->shortenedGaps(), "gap") << " to "
              << seconds(maxGap) << ", " << counted(recordedGaps->backwardSteps(), "timestamp")
              << " went backwards";
  }
  std::cerr << '\n';
  if (reader.stoppedAtMalformedLine()) {
    std::cerr << kProgramName << ": stopped at the first malformed line (--strict)\n";
  }
}

int replayLog(const FeedOptions& options, PacketWriter& writer, GroupOutput& output) {
  const std::optional<OpenLog> log = openLog(*options.logFile);
  if (!log) return kExitError;
  const std::string logName = *options.logFile == "-" ? "(standard input)" : *options.logFile;
  GroupLogReader reader(*log->stream, logName, std::cerr, options.strict);
  // A live source brings the groups at its own pace; pacing them again would only let them fall
  // behind. Given a rate, only bursts faster than it are held back.
  const PaceClock::duration interval =
      intervalAt(options.groupsPerSecond.value_or(log->live ? 0 : kRdsGroupsPerSecond));
  const std::chrono::milliseconds maxGap = options.maxGap.value_or(kDefaultMaxGap);
  RecordedGaps recordedGaps(interval, maxGap);

  const Outcome outcome = sendGroups(
      reader, output, options.count,
      [&] { return options.timed ? recordedGaps.before(reader.timeOfLastGroup()) : interval; },
      [&] { return reader.timeOfLastGroup(); });
  if (outcome.writeFailed) reportError(options.device, writer.errorString());
  reportLogCounts(outcome, reader, options.timed ? &recordedGaps : nullptr, maxGap);
  return outcome.writeFailed || reader.stoppedAtMalformedLine() ? kExitError : EXIT_SUCCESS;
}

int runDemoStation(const FeedOptions& options, PacketWriter& writer, GroupOutput& output) {
  DemoStationSource station(
      std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
  const PaceClock::duration interval =
      intervalAt(options.groupsPerSecond.value_or(kRdsGroupsPerSecond));
  const Outcome outcome = sendGroups(
      station, output, options.count, [&] { return interval; }, timeNow);
  if (outcome.writeFailed) reportError(options.device, writer.errorString());
  std::cerr << kProgramName << ": sent " << counted(outcome.sent, "group") << '\n';
  return outcome.writeFailed ? kExitError : EXIT_SUCCESS;
}

std::unique_ptr<MpxInput> openMpxInput(const FeedOptions& options) {
  const std::string& name = *options.logFile;
  if (name == "-") {
    return openRawMpx(STDIN_FILENO, options.mpxSampleRate.value_or(kDefaultMpxSampleRate),
                      stopRequested);
  }
  auto opened = openMpxFile(name);
  if (auto* problem = std::get_if<std::string>(&opened)) {
    reportError(name, *problem);
    return nullptr;
  }
  auto input = std::move(std::get<std::unique_ptr<MpxInput>>(opened));
  if (input->sampleRate() < mpx::kMinSampleRate) {
    reportError(name, "its " + std::to_string(static_cast<long>(input->sampleRate())) +
                          " samples a second cannot carry RDS (at least 128000 are needed)");
    return nullptr;
  }
  return input;
}

struct MpxOutcome {
  Outcome sending;
  std::uint64_t incompleteSkipped = 0;
};

void reportMpxCounts(const MpxOutcome& outcome, const mpx::DecoderCounts& counts) {
  std::cerr << kProgramName << ": decoded " << counted(counts.groups, "group") << " ("
            << counts.completeGroups << " whole), " << counted(counts.blocks, "block")
            << " good and " << counts.lostBlocks << " lost; sent "
            << counted(outcome.sending.sent, "group");
  if (outcome.incompleteSkipped > 0) {
    std::cerr << ", skipped " << outcome.incompleteSkipped << " with a lost block";
  }
  std::cerr << '\n';
}

// Decodes the signal as it comes and sends each group as soon as it is decoded, or with --timed
// as long after the start as it ended in the signal.
int decodeMpx(const FeedOptions& options, PacketWriter& writer, GroupOutput& output) {
  const std::unique_ptr<MpxInput> input = openMpxInput(options);
  if (!input) return kExitError;
  mpx::MpxDecoder decoder(input->sampleRate());
  const PaceClock::time_point startedAt = PaceClock::now();
  const auto signalStart = std::chrono::system_clock::now();
  const auto sinceStart = [&](std::uint64_t sample) {
    return std::chrono::duration<double>(static_cast<double>(sample) / input->sampleRate());
  };

  MpxOutcome outcome;
  const auto sendGroup = [&](const mpx::DecodedGroup& group) {
    if (stopRequested || outcome.sending.writeFailed) return;
    if (options.count && outcome.sending.sent >= *options.count) return;
    if (!output.takes(group.blocks)) {
      ++outcome.incompleteSkipped;
      return;
    }
    const auto ended = sinceStart(group.endSample);
    const auto due = startedAt + std::chrono::duration_cast<PaceClock::duration>(ended);
    if (options.timed && !waitUntil(due, stopRequested)) return;
    const auto time = std::chrono::floor<Centiseconds>(
        signalStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(ended));
    if (!output.send(group.blocks, time)) {
      outcome.sending.writeFailed = !stopRequested;
      return;
    }
    ++outcome.sending.sent;
  };

  std::vector<float> samples;
  while (!stopRequested && !outcome.sending.writeFailed &&
         (!options.count || outcome.sending.sent < *options.count)) {
    input->read(samples);
    if (samples.empty()) break;
    decoder.process(samples, sendGroup);
  }
  if (const auto error = input->error()) reportError(*options.logFile, *error);
  if (outcome.sending.writeFailed) reportError(options.device, writer.errorString());
  reportMpxCounts(outcome, decoder.counts());
  return outcome.sending.writeFailed || input->error() ? kExitError : EXIT_SUCCESS;
}

int run(const FeedOptions& options) {
  PacketWriter writer;
  if (const auto error = writer.open(options.device)) {
    reportError(options.device, *error);
    return kExitError;
  }
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  std::signal(SIGHUP, requestStop);  // a closed terminal: stop as cleanly as on Ctrl-C
  GroupOutput output(writer, options.hexLines);
  if (options.mpx) return decodeMpx(options, writer, output);
  return options.logFile ? replayLog(options, writer, output)
                         : runDemoStation(options, writer, output);
}

int runCommandLine(const std::vector<std::string_view>& arguments) {
  const CommandLine commandLine = parseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&commandLine)) {
    std::cerr << kProgramName << ": " << error->message << "\n"
              << "Try '" << kProgramName << " --help' for more information.\n";
    return kExitUsage;
  }
  if (std::holds_alternative<HelpRequest>(commandLine)) {
    std::cout << usageText(kProgramName);
    return EXIT_SUCCESS;
  }
  if (std::holds_alternative<VersionRequest>(commandLine)) {
    std::cout << kProgramName << ' ' << kVersion << '\n';
    return EXIT_SUCCESS;
  }
  return run(std::get<FeedOptions>(commandLine));
}

}  // namespace
}  // namespace tavimor::feed

int main(int argc, char* argv[]) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  // QSerialPort wants an application object; the feeder has no event loop of its own.
  QCoreApplication application(argc, argv);
  return tavimor::feed::runCommandLine(arguments);
}
