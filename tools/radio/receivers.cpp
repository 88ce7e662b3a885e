// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/receivers.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <functional>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "receiver/receiver_chain.h"
#include "scan/capture_scan.h"
#include "tools/feed/feed_options.h"
#include "tools/feed/pacer.h"
#include "tools/feed/replay_sources.h"
#include "tools/feed/sample_input.h"
#include "tools/radio/capture_report.h"
#include "tools/radio/station_tracker.h"
#include "tools/radio/threaded_receiver.h"

namespace tavimor::radio {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::string_view kEnded = "the recording has ended; close the window to stop";

bool whole(const feed::LogBlocks& blocks) {
  return std::ranges::all_of(blocks, [](const auto& block) { return block.has_value(); });
}

RdsGroup groupOf(const feed::LogBlocks& blocks) {
  return {*blocks[0], *blocks[1], *blocks[2], *blocks[3]};
}

// Groups replayed by one of the feeder's sources: a hex group log, or the demo station.
class GroupPlayer final : public ThreadedReceiver {
 public:
  using Opener = std::function<feed::OpenedSource(const std::atomic<bool>&, std::ostream&)>;

  GroupPlayer(std::string description, Opener open)
      : description_(std::move(description)), open_(std::move(open)) {}
  ~GroupPlayer() override { stop(); }
  GroupPlayer(const GroupPlayer&) = delete;
  GroupPlayer& operator=(const GroupPlayer&) = delete;

  std::string description() const override { return description_; }
  bool tunable() const override { return false; }
  std::optional<double> tunedHz() const override { return std::nullopt; }
  bool onAir() const override { return false; }
  void tune(double /*hz*/) override {}

 private:
  void run(ReceiverListener& listener) override {
    std::ostringstream diagnostics;
    feed::OpenedSource opened = open_(stop_, diagnostics);
    if (const auto* error = std::get_if<feed::SourceError>(&opened)) {
      listener.said(error->subject + ": " + error->problem, true);
      listener.ended(true);
      return;
    }
    feed::GroupSource& source = *std::get<std::unique_ptr<feed::GroupSource>>(opened);
    StationTracker tracker;
    Station station;
    station.tuned = true;
    Reception reception;
    feed::FeedOutcome outcome;
    listener.stationsChanged({station});
    auto reported = Clock::now();
    while (const auto group = source.next()) {
      if (whole(group->blocks)) {
        listener.groupReceived(groupOf(group->blocks));
        ++outcome.sent;
      } else {
        ++outcome.skippedIncomplete;
      }
      if (tracker.take(group->blocks)) {
        tracker.fill(station);
        listener.stationsChanged({station});
      }
      passOn(diagnostics, listener);
      if (Clock::now() - reported >= kReportInterval) {
        reported = Clock::now();
        reception.groups = outcome.sent;
        listener.receptionChanged(reception);
      }
    }
    passOn(diagnostics, listener);
    if (stop_) return;
    reception.groups = outcome.sent;
    listener.receptionChanged(reception);
    const bool failed = source.failed();
    const std::string summary = source.finish(outcome);
    if (failed) listener.said(summary.substr(0, summary.find('\n')), true);
    listener.said(std::string(kEnded), false);
    listener.ended(failed);
  }

  // The log's malformed lines, as they come.
  static void passOn(std::ostringstream& diagnostics, ReceiverListener& listener) {
    if (diagnostics.tellp() == 0) return;
    std::istringstream lines(diagnostics.str());
    for (std::string line; std::getline(lines, line);)
      listener.said(line, false);
    diagnostics.str({});
  }

  std::string description_;
  Opener open_;
};

// A recording's samples, opened for each pass over it.
class RecordingInput {
 public:
  explicit RecordingInput(Recording recording) : recording_(std::move(recording)) {}
  ~RecordingInput() { close(); }
  RecordingInput(const RecordingInput&) = delete;
  RecordingInput& operator=(const RecordingInput&) = delete;

  // From the recording's start; or why it cannot be read.
  std::optional<std::string> open(const std::atomic<bool>& stop) {
    close();
    if (recording_.kind == RecordingKind::RawIq) {
      fd_ = ::open(recording_.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return "no such recording, or not readable";
      input_ = feed::openRawSamples(fd_, feed::RawFormat::Unsigned8Iq, recording_.sampleRate, stop);
      return std::nullopt;
    }
    auto opened = feed::openSoundFile(recording_.path);
    if (auto* problem = std::get_if<std::string>(&opened)) return *problem;
    input_ = std::move(std::get<std::unique_ptr<feed::SampleInput>>(opened));
    return std::nullopt;
  }

  feed::SampleInput& samples() { return *input_; }

  // Ends what open() began; what went wrong reading it, if anything did.
  std::optional<std::string> close() {
    std::optional<std::string> error = input_ ? input_->error() : std::nullopt;
    input_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return error;
  }

 private:
  Recording recording_;
  std::unique_ptr<feed::SampleInput> input_;
  int fd_ = -1;
};

// A recording of a signal played at its own pace: a multiplex, or I/Q whose every station is
// listed and can be tuned to.
class SignalPlayer final : public ThreadedReceiver {
 public:
  // Without an offset, an I/Q recording starts on its strongest station.
  SignalPlayer(std::string description, const Recording& recording, std::optional<double> offsetHz)
      : description_(std::move(description)),
        input_(recording),
        iq_(recording.kind != RecordingKind::Multiplex),
        tunedHz_(offsetHz.value_or(0.0)),
        tuneToStrongest_(iq_ && !offsetHz) {}
  ~SignalPlayer() override { stop(); }
  SignalPlayer(const SignalPlayer&) = delete;
  SignalPlayer& operator=(const SignalPlayer&) = delete;

  std::string description() const override { return description_; }
  bool tunable() const override { return iq_; }
  std::optional<double> tunedHz() const override {
    const std::scoped_lock lock(mutex_);
    return tunedHz_;
  }
  bool onAir() const override { return false; }

  void tune(double hz) override {
    const std::scoped_lock lock(mutex_);
    tunedHz_ = hz;
    retuned_ = true;
  }

 private:
  void run(ReceiverListener& listener) override {
    if (auto problem = input_.open(stop_)) return fail(listener, *problem);
    feed::SampleInput& input = input_.samples();
    const double rate = input.sampleRate();
    if (auto problem = unfit(input)) return fail(listener, *problem);
    std::optional<receiver::ReceiverChain> chain;
    try {
      chain.emplace(
          receiver::ChainSettings{iq_ ? receiver::SignalKind::Iq : receiver::SignalKind::Multiplex,
                                  rate, iq_ ? *tunedHz() : 0.0});
    } catch (const std::invalid_argument& error) {
      return fail(listener, error.what());
    }
    // Every station of an I/Q capture at once, for the list and the picture.
    std::unique_ptr<scan::CaptureScan> survey;
    if (iq_) {
      survey =
          std::make_unique<scan::CaptureScan>(scan::ScanSettings{rate, std::nullopt, std::nullopt});
    }
    std::vector<float> frames;
    std::vector<std::complex<float>> iq;
    std::vector<float> multiplex;
    std::vector<RdsGroup> groups;
    StationTracker tracker;
    Station tuned;
    tuned.frequencyHz = *tunedHz();
    tuned.tuned = true;
    const auto startedAt = feed::PaceClock::now();
    auto reported = Clock::now();
    const auto keep = [&](const receiver::TimedGroup& timed) {
      if (timed.group.complete()) groups.push_back(timed.group.group());
      if (tracker.take(timed.group.blocks)) tracker.fill(tuned);
    };
    while (!stop_) {
      if (takeRetune()) {
        const double hz = *tunedHz();
        try {
          chain->retune(hz);
          tracker.reset();
          tuned = Station{};
          tuned.frequencyHz = hz;
          tuned.tuned = true;
        } catch (const std::invalid_argument& error) {
          // The station stays the one tuned to before.
          listener.said(error.what(), false);
          const std::scoped_lock lock(mutex_);
          tunedHz_ = tuned.frequencyHz;
        }
      }
      input.read(frames);
      if (frames.empty()) break;
      receive(input, frames, *chain, survey, iq, multiplex, keep);
      const std::chrono::duration<double> played(chain->seconds());
      feed::waitUntil(startedAt + std::chrono::duration_cast<feed::PaceClock::duration>(played),
                      stop_);
      for (const RdsGroup& group : groups)
        listener.groupReceived(group);
      groups.clear();
      if (Clock::now() - reported >= kReportInterval) {
        reported = Clock::now();
        report(listener, *chain, survey, tuned);
      }
    }
    if (stop_) {
      input_.close();
      return;
    }
    chain->finish(keep);
    for (const RdsGroup& group : groups)
      listener.groupReceived(group);
    report(listener, *chain, survey, tuned);
    if (auto trouble = input_.close()) return fail(listener, *trouble);
    if (chain->counts().groups == 0) {
      std::ostringstream seconds;
      seconds << std::fixed << std::setprecision(1) << chain->seconds();
      return fail(listener, "no RDS found in " + seconds.str() + " s of signal: " +
                                (iq_ ? "does the recording hold an FM station at its centre, or "
                                       "at the offset chosen?"
                                     : "is the recording an FM multiplex signal, not audio?"));
    }
    listener.said(std::string(kEnded), false);
    listener.ended(false);
  }

  static void fail(ReceiverListener& listener, const std::string& problem) {
    listener.said(problem, true);
    listener.ended(true);
  }

  std::optional<std::string> unfit(const feed::SampleInput& input) const {
    if (iq_ && input.channels() != 2) {
      return "holds " + std::to_string(input.channels()) +
             " channels, and I/Q takes two, I then Q (a multiplex recording goes with --mpx)";
    }
    return std::nullopt;
  }

  // Whether tune() was called since the last look.
  bool takeRetune() {
    const std::scoped_lock lock(mutex_);
    return std::exchange(retuned_, false);
  }

  // The input's frames through the chain; I/Q through the scan of the capture too.
  void receive(const feed::SampleInput& input, const std::vector<float>& frames,
               receiver::ReceiverChain& chain, const std::unique_ptr<scan::CaptureScan>& survey,
               std::vector<std::complex<float>>& iq, std::vector<float>& multiplex,
               const receiver::TimedGroupHandler& keep) const {
    const unsigned channels = input.channels();
    if (!iq_) {
      multiplex.clear();
      for (std::size_t i = 0; i < frames.size(); i += channels)
        multiplex.push_back(frames[i]);
      chain.process(std::span<const float>(multiplex), keep);
      return;
    }
    iq.resize(frames.size() / 2);
    for (std::size_t i = 0; i < iq.size(); ++i)
      iq[i] = {frames[2 * i], frames[2 * i + 1]};
    survey->process(iq);
    chain.process(std::span<const std::complex<float>>(iq), keep);
  }

  void report(ReceiverListener& listener, const receiver::ReceiverChain& chain,
              const std::unique_ptr<scan::CaptureScan>& survey, Station& tuned) {
    listener.receptionChanged(receptionOf(chain, tuned));
    if (!survey) {
      listener.stationsChanged({tuned});
      return;
    }
    listener.bandChanged(pictureOf(survey->picture(), 0.0));
    const std::vector<scan::StationReport> reports = survey->stations();
    if (tuneToStrongest_ && !reports.empty()) {
      tuneToStrongest_ = false;
      const auto& strongest =
          *std::ranges::max_element(reports, {}, &scan::StationReport::levelDbfs);
      if (std::ranges::none_of(reports, [&](const scan::StationReport& report) {
            return std::abs(report.offsetHz - tuned.frequencyHz) < kSameStationHz;
          })) {
        tune(strongest.offsetHz);
      }
    }
    listener.stationsChanged(listStations(reports, 0.0, tuned));
  }

  std::string description_;
  RecordingInput input_;
  bool iq_;
  mutable std::mutex mutex_;
  double tunedHz_;
  bool retuned_ = false;
  bool tuneToStrongest_;
};

}  // namespace

std::unique_ptr<Receiver> makeDemoReceiver() {
  return std::make_unique<GroupPlayer>(
      "the demo station", [](const std::atomic<bool>& stop, std::ostream&) -> feed::OpenedSource {
        return feed::makeDemoSource(feed::FeedOptions{}, stop);
      });
}

std::unique_ptr<Receiver> makeRecordingReceiver(const Recording& recording,
                                                std::optional<double> offsetHz) {
  const std::string description =
      recording.path.substr(recording.path.rfind('/') + 1) + ", " + describeRecording(recording);
  if (recording.kind == RecordingKind::GroupLog) {
    return std::make_unique<GroupPlayer>(
        description,
        [path = recording.path](const std::atomic<bool>& stop, std::ostream& diagnostics) {
          feed::FeedOptions options;
          options.input = feed::LogInput{path};
          options.timed = true;
          return feed::openLogSource(options, diagnostics, stop);
        });
  }
  return std::make_unique<SignalPlayer>(description, recording, offsetHz);
}

}  // namespace tavimor::radio
