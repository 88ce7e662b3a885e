// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-feed: writes RDS groups to a serial device or pseudo-terminal as a receiver would.
#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "tools/feed/feed_options.h"
#include "tools/feed/messages.h"
#include "tools/feed/packet_writer.h"
#include "tools/feed/recording_probe.h"
#include "tools/feed/replay_sources.h"
#include "tools/feed/scan_run.h"
#include "tools/feed/signal_source.h"
#include "tools/feed/stop_request.h"
#include "version.h"

namespace tavimor::feed {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

// Which of standard input, output and error were closed when the feeder started.
struct ClosedStreams {
  bool input = false;
  bool output = false;
  bool error = false;
};

// Puts /dev/null where a standard stream is closed: else the next file opened (Qt's own, at the
// application object's start) would take its number, and be read or written as that stream.
ClosedStreams occupyClosedStreams() {
  const auto occupy = [](int fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
    const int placeholder = ::open("/dev/null", O_RDWR);
    if (placeholder >= 0 && placeholder != fd) {
      ::dup2(placeholder, fd);
      ::close(placeholder);
    }
    return true;
  };
  // In order: /dev/null opened for 0 must not take 1's number instead.
  const bool input = occupy(STDIN_FILENO);
  const bool output = occupy(STDOUT_FILENO);
  const bool error = occupy(STDERR_FILENO);
  return {input, output, error};
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

  bool send(const FedGroup& group) {
    if (hexLines_) return writer_.write(formatLogLine(group.blocks, group.time) + '\n');
    const auto& [a, b, c, d] = group.blocks;
    const PacketBytes packet = toPacket({*a, *b, *c, *d});
    return writer_.write({reinterpret_cast<const char*>(packet.data()), packet.size()});
  }

 private:
  PacketWriter& writer_;
  bool hexLines_;
};

FeedOutcome feed(GroupSource& source, GroupOutput& output, std::optional<std::uint64_t> count) {
  FeedOutcome outcome;
  while (!count || outcome.sent < *count) {
    const std::optional<FedGroup> group = source.next();
    if (!group) break;
    if (!output.takes(group->blocks)) {
      ++outcome.skippedIncomplete;
      continue;
    }
    if (!output.send(*group)) {
      outcome.writeFailed = !stopRequested();
      break;
    }
    ++outcome.sent;
  }
  return outcome;
}

OpenedSource openSource(const FeedOptions& options) {
  if (options.decodes()) {
    return openSignalSource(options, {std::cerr, ::isatty(STDERR_FILENO) == 1}, stopRequested());
  }
  if (std::holds_alternative<LogInput>(options.input))
    return openLogSource(options, std::cerr, stopRequested());
  return makeDemoSource(options, stopRequested());
}

// What a run needs of the standard streams that were closed.
std::optional<SourceError> missingStream(const FeedOptions& options, const ClosedStreams& closed) {
  if (closed.input && options.inputPath() == "-")
    return SourceError{"-", "standard input is closed"};
  if (closed.output && options.device == "-") return SourceError{"-", "standard output is closed"};
  return std::nullopt;
}

int run(const FeedOptions& options, const ClosedStreams& closed) {
  // Nothing could be told: not even the counts at the end.
  if (closed.error) return kExitError;
  if (const auto missing = missingStream(options, closed)) {
    std::cerr << problemLine(missing->subject, missing->problem);
    return kExitError;
  }
  installStopHandlers();
  PacketWriter writer(stopRequested());
  if (const auto error = writer.open(options.device)) {
    std::cerr << problemLine(options.device, *error);
    return kExitError;
  }
  OpenedSource opened = openSource(options);
  if (const auto* error = std::get_if<SourceError>(&opened)) {
    std::cerr << problemLine(error->subject, error->problem);
    return kExitError;
  }
  GroupSource& source = *std::get<std::unique_ptr<GroupSource>>(opened);
  GroupOutput output(writer, options.hexLines);
  const FeedOutcome outcome = feed(source, output, options.count);
  if (outcome.writeFailed) std::cerr << problemLine(options.device, writer.errorString());
  std::cerr << source.finish(outcome);
  return outcome.writeFailed || source.failed() ? kExitError : EXIT_SUCCESS;
}

int probe(const ProbeRequest& request) {
  const auto probed = probeRecording(request.path);
  if (const auto* problem = std::get_if<std::string>(&probed)) {
    std::cerr << problemLine(request.path, *problem);
    return kExitError;
  }
  std::cout << describeRecording(request.path, std::get<Recording>(probed));
  return EXIT_SUCCESS;
}

int runCommandLine(const std::vector<std::string_view>& arguments, const ClosedStreams& closed) {
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
  if (const auto* request = std::get_if<ProbeRequest>(&commandLine)) return probe(*request);
  if (const auto* request = std::get_if<ScanRequest>(&commandLine)) {
    if (closed.error) return kExitError;
    installStopHandlers();
    return runScan(*request, std::cout, std::cerr, stopRequested());
  }
  return run(std::get<FeedOptions>(commandLine), closed);
}

}  // namespace
}  // namespace tavimor::feed

int main(int argc, char* argv[]) {
  const tavimor::feed::ClosedStreams closed = tavimor::feed::occupyClosedStreams();
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  // QSerialPort wants an application object; the feeder has no event loop of its own.
  QCoreApplication application(argc, argv);
  return tavimor::feed::runCommandLine(arguments, closed);
}
