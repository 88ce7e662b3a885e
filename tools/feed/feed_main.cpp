// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-feed: writes RDS groups to a serial device or pseudo-terminal as a receiver would.
#include <QCoreApplication>

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "tools/feed/demo_station.h"
#include "tools/feed/feed_options.h"
#include "tools/feed/group_log.h"
#include "tools/feed/live_input.h"
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

// gapBeforeGroup tells how long after the group before the one just taken is due.
Outcome sendGroups(GroupSource& source, PacketWriter& writer, std::optional<std::uint64_t> count,
                   const std::function<PaceClock::duration()>& gapBeforeGroup) {
  Pacer pacer;
  Outcome outcome;
  while (!stopRequested && (!count || outcome.sent < *count)) {
    const std::optional<RdsGroup> group = source.next();
    if (!group || !pacer.waitForTurn(gapBeforeGroup(), stopRequested)) break;
    if (!writer.write(toPacket(*group), stopRequested)) {
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

int replayLog(const FeedOptions& options, PacketWriter& writer) {
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

  const Outcome outcome = sendGroups(reader, writer, options.count, [&] {
    return options.timed ? recordedGaps.before(reader.timeOfLastGroup()) : interval;
  });
  if (outcome.writeFailed) reportError(options.device, writer.errorString());
  reportLogCounts(outcome, reader, options.timed ? &recordedGaps : nullptr, maxGap);
  return outcome.writeFailed || reader.stoppedAtMalformedLine() ? kExitError : EXIT_SUCCESS;
}

int runDemoStation(const FeedOptions& options, PacketWriter& writer) {
  DemoStationSource station(
      std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
  const PaceClock::duration interval =
      intervalAt(options.groupsPerSecond.value_or(kRdsGroupsPerSecond));
  const Outcome outcome = sendGroups(station, writer, options.count, [&] { return interval; });
  if (outcome.writeFailed) reportError(options.device, writer.errorString());
  std::cerr << kProgramName << ": sent " << counted(outcome.sent, "group") << '\n';
  return outcome.writeFailed ? kExitError : EXIT_SUCCESS;
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
  return options.logFile ? replayLog(options, writer) : runDemoStation(options, writer);
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
