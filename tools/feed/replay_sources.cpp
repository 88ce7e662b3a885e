// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/replay_sources.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/feed/demo_station.h"
#include "tools/feed/live_input.h"
#include "tools/feed/messages.h"
#include "tools/feed/pacer.h"

namespace tavimor::feed {
namespace {

LogBlocks blocksOf(const RdsGroup& group) {
  return {group.a, group.b, group.c, group.d};
}

std::string seconds(std::chrono::milliseconds duration) {
  std::ostringstream text;
  text << std::chrono::duration<double>(duration).count() << " s";
  return text.str();
}

class LogSource final : public GroupSource {
 public:
  LogSource(std::unique_ptr<std::streambuf> liveInput, std::unique_ptr<std::istream> ownStream,
            std::istream& log, bool live, const std::string& name, const FeedOptions& options,
            std::ostream& diagnostics, const std::atomic<bool>& stop)
      : liveInput_(std::move(liveInput)),
        ownStream_(std::move(ownStream)),
        reader_(log, name, diagnostics, options.strict),
        // A live source brings the groups at its own pace; pacing them again would only let
        // them fall behind. Given a rate, only bursts faster than it are held back.
        interval_(intervalAt(options.groupsPerSecond.value_or(live ? 0 : kRdsGroupsPerSecond))),
        maxGap_(options.maxGap.value_or(kDefaultMaxGap)),
        timed_(options.timed),
        recordedGaps_(interval_, maxGap_),
        stop_(stop) {}

  std::optional<FedGroup> next() override {
    if (stop_) return std::nullopt;
    const std::optional<RdsGroup> group = reader_.next();
    if (!group) return std::nullopt;
    const auto gap = timed_ ? recordedGaps_.before(reader_.timeOfLastGroup()) : interval_;
    if (!pacer_.waitForTurn(gap, stop_)) return std::nullopt;
    return FedGroup{blocksOf(*group), reader_.timeOfLastGroup()};
  }

  std::string finish(const FeedOutcome& outcome) override {
    std::string text = std::string(kProgramName) + ": sent " + counted(outcome.sent, "group") +
                       ", skipped " + counted(reader_.groupsWithMissingBlock(), "group") +
                       " with a missing block and " +
                       counted(reader_.malformedLines(), "malformed line");
    if (timed_) {
      text += ", shortened " + counted(recordedGaps_.shortenedGaps(), "gap") + " to " +
              seconds(maxGap_) + ", " + counted(recordedGaps_.backwardSteps(), "timestamp") +
              " went backwards";
    }
    text += '\n';
    if (reader_.stoppedAtMalformedLine())
      text += std::string(kProgramName) + ": stopped at the first malformed line (--strict)\n";
    return text;
  }

  bool failed() const override { return reader_.stoppedAtMalformedLine(); }

 private:
  std::unique_ptr<std::streambuf> liveInput_;
  std::unique_ptr<std::istream> ownStream_;
  GroupLogReader reader_;
  PaceClock::duration interval_;
  std::chrono::milliseconds maxGap_;
  bool timed_;
  RecordedGaps recordedGaps_;
  Pacer pacer_;
  const std::atomic<bool>& stop_;
};

class DemoSource final : public GroupSource {
 public:
  DemoSource(const FeedOptions& options, const std::atomic<bool>& stop)
      : station_(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now())),
        interval_(intervalAt(options.groupsPerSecond.value_or(kRdsGroupsPerSecond))),
        stop_(stop) {}

  std::optional<FedGroup> next() override {
    if (stop_ || !pacer_.waitForTurn(interval_, stop_)) return std::nullopt;
    return FedGroup{blocksOf(station_.groupAt(next_++)),
                    std::chrono::floor<Centiseconds>(std::chrono::system_clock::now())};
  }

  std::string finish(const FeedOutcome& outcome) override {
    return std::string(kProgramName) + ": sent " + counted(outcome.sent, "group") + '\n';
  }

  bool failed() const override { return false; }

 private:
  DemoStation station_;
  std::uint64_t next_ = 0;
  PaceClock::duration interval_;
  Pacer pacer_;
  const std::atomic<bool>& stop_;
};

}  // namespace

OpenedSource openLogSource(const FeedOptions& options, std::ostream& diagnostics,
                           const std::atomic<bool>& stop) {
  const std::string& name = std::get<LogInput>(options.input).path;
  if (name == "-") {
    const std::string shownName = "(standard input)";
    if (isLiveInput(STDIN_FILENO)) {
      auto liveInput = std::make_unique<LiveInputBuffer>(STDIN_FILENO, stop);
      auto stream = std::make_unique<std::istream>(liveInput.get());
      std::istream& log = *stream;
      return std::make_unique<LogSource>(std::move(liveInput), std::move(stream), log, true,
                                         shownName, options, diagnostics, stop);
    }
    return std::make_unique<LogSource>(nullptr, nullptr, std::cin, false, shownName, options,
                                       diagnostics, stop);
  }
  if (std::filesystem::is_directory(name)) return SourceError{name, "is a directory"};
  auto file = std::make_unique<std::ifstream>(name);
  if (!*file) return SourceError{name, "cannot open the log"};
  std::istream& log = *file;
  return std::make_unique<LogSource>(nullptr, std::move(file), log, false, name, options,
                                     diagnostics, stop);
}

std::unique_ptr<GroupSource> makeDemoSource(const FeedOptions& options,
                                            const std::atomic<bool>& stop) {
  return std::make_unique<DemoSource>(options, stop);
}

}  // namespace tavimor::feed
