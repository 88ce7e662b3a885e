// tavimor-feed: writes RDS groups to a serial device or pseudo-terminal as a receiver would.
#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "demo_station.h"
#include "feed_options.h"
#include "group_log.h"
#include "pacer.h"
#include "packet_writer.h"
#include "version.h"

namespace tavimor::feed {
namespace {

constexpr std::string_view kProgramName = "tavimor-feed";
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> stopRequested{false};

void requestStop(int) {
  stopRequested = true;
}

std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + ' ' + std::string(thing) + (count == 1 ? "" : "s");
}

void reportError(std::string_view subject, std::string_view problem) {
  std::cerr << kProgramName << ": " << subject << ": " << problem << '\n';
}

// The log, or standard input for "-"; std::cin needs no owner.
struct OpenLog {
  std::unique_ptr<std::ifstream> file;
  std::istream* stream = nullptr;
};

std::optional<OpenLog> openLog(const std::string& name) {
  if (name == "-") return OpenLog{nullptr, &std::cin};
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
  return OpenLog{std::move(file), stream};
}

struct Outcome {
  std::uint64_t sent = 0;
  bool writeFailed = false;
};

Outcome sendGroups(GroupSource& source, PacketWriter& writer, const FeedOptions& options) {
  Pacer pacer(options.groupsPerSecond);
  Outcome outcome;
  while (!stopRequested && (!options.count || outcome.sent < *options.count)) {
    const std::optional<RdsGroup> group = source.next();
    if (!group || !pacer.waitForTurn(stopRequested)) break;
    if (!writer.write(toPacket(*group), stopRequested)) {
      outcome.writeFailed = !stopRequested;
      break;
    }
    ++outcome.sent;
  }
  return outcome;
}

int replayLog(const FeedOptions& options, PacketWriter& writer) {
  const std::optional<OpenLog> log = openLog(*options.logFile);
  if (!log) return kExitError;
  const std::string logName = *options.logFile == "-" ? "(standard input)" : *options.logFile;
  GroupLogReader reader(*log->stream, logName, std::cerr, options.strict);

  const Outcome outcome = sendGroups(reader, writer, options);
  if (outcome.writeFailed) reportError(options.device, writer.errorString());
  std::cerr << kProgramName << ": sent " << counted(outcome.sent, "group") << ", skipped "
            << counted(reader.groupsWithMissingBlock(), "group") << " with a missing block and "
            << counted(reader.malformedLines(), "malformed line") << '\n';
  if (reader.stoppedAtMalformedLine()) {
    std::cerr << kProgramName << ": stopped at the first malformed line (--strict)\n";
  }
  return outcome.writeFailed || reader.stoppedAtMalformedLine() ? kExitError : EXIT_SUCCESS;
}

int runDemoStation(const FeedOptions& options, PacketWriter& writer) {
  DemoStationSource station(
      std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
  const Outcome outcome = sendGroups(station, writer, options);
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
