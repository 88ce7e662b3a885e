// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/receivers.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <csignal>
#include <functional>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "receiver/receiver_chain.h"
#include "scan/capture_scan.h"
#include "tools/feed/feed_options.h"
#include "tools/feed/pacer.h"
#include "tools/feed/polled_reader.h"
#include "tools/feed/replay_sources.h"
#include "tools/feed/sample_input.h"
#include "tools/radio/station_tracker.h"
#include "tools/radio/stick_trouble.h"

namespace tavimor::radio {
namespace {

using Clock = std::chrono::steady_clock;
// The window's figures and picture are redrawn this often.
constexpr auto kReportInterval = std::chrono::milliseconds(250);
// A station's channel, and the room its filters want at the capture's edges.
constexpr double kChannelHalfWidthHz = 150'000.0;
// A station counts as the one tuned to within this distance.
constexpr double kSameStationHz = 60'000.0;
constexpr double kStickRate = 1'024'000.0;
constexpr std::string_view kEnded = "the recording has ended; close the window to stop";

bool whole(const feed::LogBlocks& blocks) {
  return std::ranges::all_of(blocks, [](const auto& block) { return block.has_value(); });
}

RdsGroup groupOf(const feed::LogBlocks& blocks) {
  return {*blocks[0], *blocks[1], *blocks[2], *blocks[3]};
}

// The thread every receiver runs on: started, and stopped by a flag that its waits look at.
class ThreadedReceiver : public Receiver {
 public:
  void start(ReceiverListener& listener) override {
    stop();
    stop_ = false;
    thread_ = std::thread([this, &listener] { run(listener); });
  }

  void stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 protected:
  virtual void run(ReceiverListener& listener) = 0;
  std::atomic<bool> stop_{false};

 private:
  std::thread thread_;
};

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

// Where a signal's samples come from: a recording, or a stick that can be retuned.
class SignalInput {
 public:
  virtual ~SignalInput() = default;
  // Samples centred on centreHz, or why there are none.
  virtual std::variant<std::unique_ptr<feed::SampleInput>, std::string> open(
      double centreHz, const std::atomic<bool>& stop) = 0;
  // A recording is played at its own pace; a stick's samples come at theirs.
  virtual bool paced() const = 0;
  // Whether open() takes another centre: only a stick's can be retuned.
  virtual bool retunes() const = 0;
  // Ends what open() began; after an end that no stop asked for, says what went wrong, if
  // anything did.
  virtual std::optional<std::string> close(bool stopped) = 0;
};

class RecordingInput final : public SignalInput {
 public:
  explicit RecordingInput(Recording recording) : recording_(std::move(recording)) {}

  std::variant<std::unique_ptr<feed::SampleInput>, std::string> open(
      double /*centreHz*/, const std::atomic<bool>& stop) override {
    if (recording_.kind == RecordingKind::RawIq) {
      fd_ = ::open(recording_.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) return "no such recording, or not readable";
      auto input =
          feed::openRawSamples(fd_, feed::RawFormat::Unsigned8Iq, recording_.sampleRate, stop);
      input_ = input.get();
      return input;
    }
    auto opened = feed::openSoundFile(recording_.path);
    if (auto* input = std::get_if<std::unique_ptr<feed::SampleInput>>(&opened))
      input_ = input->get();
    return opened;
  }
  bool paced() const override { return true; }
  bool retunes() const override { return false; }

  std::optional<std::string> close(bool /*stopped*/) override {
    std::optional<std::string> error = input_ != nullptr ? input_->error() : std::nullopt;
    input_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return error;
  }

 private:
  Recording recording_;
  feed::SampleInput* input_ = nullptr;
  int fd_ = -1;
};

// rtl_sdr, started for each centre, writing the stick's I/Q into a pipe; its messages in another.
class StickInput final : public SignalInput {
 public:
  explicit StickInput(StickSettings settings) : settings_(std::move(settings)) {}
  ~StickInput() override { close(true); }
  StickInput(const StickInput&) = delete;
  StickInput& operator=(const StickInput&) = delete;

  std::variant<std::unique_ptr<feed::SampleInput>, std::string> open(
      double centreHz, const std::atomic<bool>& stop) override {
    int samples[2] = {-1, -1};
    int messages[2] = {-1, -1};
    if (::pipe2(samples, O_CLOEXEC) != 0 || ::pipe2(messages, O_CLOEXEC) != 0) {
      return std::string("no pipe for the stick's samples");
    }
    const std::vector<std::string> arguments = rtlSdrArguments(centreHz);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, samples[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, messages[1], STDERR_FILENO);
    // A process group of its own, which Ctrl-C on the terminal does not reach: the radio stops
    // it in its turn.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int spawned = posix_spawnp(&pid_, "rtl_sdr", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(samples[1]);
    ::close(messages[1]);
    samplesFd_ = samples[0];
    messagesFd_ = messages[0];
    if (spawned != 0) {
      pid_ = -1;
      close(true);
      return std::string(kRtlSdrMissing);
    }
    return feed::openRawSamples(samplesFd_, feed::RawFormat::Unsigned8Iq, kStickRate, stop);
  }
  bool paced() const override { return false; }
  bool retunes() const override { return true; }

  std::optional<std::string> close(bool stopped) override {
    if (pid_ > 0) {
      if (stopped) ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    std::string messages;
    if (messagesFd_ >= 0) {
      const std::atomic<bool> never{false};
      feed::PolledReader reader(messagesFd_, never);
      std::array<std::byte, 4096> buffer{};
      while (const std::size_t count = reader.read(buffer))
        messages.append(reinterpret_cast<const char*>(buffer.data()), count);
    }
    for (int* fd : {&samplesFd_, &messagesFd_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
    if (stopped) return std::nullopt;
    return explainStickTrouble(messages, currentMembership());
  }

 private:
  std::vector<std::string> rtlSdrArguments(double centreHz) const {
    // Writes of 32 KiB, 16 ms of signal, rather than rtl_sdr's 256 KiB: each group then reaches
    // the window within a few hundredths of a second of its end on air.
    std::vector<std::string> arguments{"rtl_sdr",
                                       "-f",
                                       std::to_string(std::llround(centreHz)),
                                       "-s",
                                       std::to_string(std::llround(kStickRate)),
                                       "-b",
                                       "32768",
                                       "-g",
                                       std::to_string(settings_.gainDb),
                                       "-p",
                                       std::to_string(settings_.ppm)};
    if (settings_.device) arguments.insert(arguments.end(), {"-d", *settings_.device});
    arguments.emplace_back("-");
    return arguments;
  }

  StickSettings settings_;
  pid_t pid_ = -1;
  int samplesFd_ = -1;
  int messagesFd_ = -1;
};

// The scan's stations as the window lists them, the one tuned to with what its own chain says.
std::vector<Station> listStations(const std::vector<scan::StationReport>& reports, double centreHz,
                                  const Station& tuned) {
  std::vector<Station> stations;
  bool tunedListed = false;
  for (const scan::StationReport& report : reports) {
    Station station;
    station.frequencyHz = centreHz + report.offsetHz;
    if (std::abs(station.frequencyHz - tuned.frequencyHz) < kSameStationHz && !tunedListed) {
      station = tuned;
      tunedListed = true;
    } else {
      station.pi = report.pi;
      station.ps = report.ps.value_or(std::string());
      station.pty = report.pty;
      station.levelDb = report.levelDbfs;
      if (report.blockErrorRate) station.quality = 1.0 - *report.blockErrorRate;
    }
    stations.push_back(station);
  }
  if (!tunedListed) stations.push_back(tuned);
  std::ranges::sort(stations, {}, &Station::frequencyHz);
  return stations;
}

// The scan's spectrum as the band's picture.
BandPicture pictureOf(const scan::BandPicture& scanned, double centreHz) {
  BandPicture picture;
  const auto bins = static_cast<double>(scanned.levelDbfs.size());
  picture.spanHz = bins * scanned.binHz;
  picture.centreHz = centreHz + scanned.firstOffsetHz - scanned.binHz / 2 + picture.spanHz / 2;
  picture.powerDb = scanned.levelDbfs;
  return picture;
}

class SignalPlayer final : public ThreadedReceiver {
 public:
  // Without an offset, an I/Q recording starts on its strongest station.
  SignalPlayer(std::string description, std::unique_ptr<SignalInput> input, bool iq,
               double centreHz, std::optional<double> offsetHz)
      : description_(std::move(description)),
        input_(std::move(input)),
        iq_(iq),
        centreHz_(centreHz),
        tunedHz_(centreHz + offsetHz.value_or(0.0)),
        tuneToStrongest_(iq && !offsetHz) {}
  ~SignalPlayer() override { stop(); }
  SignalPlayer(const SignalPlayer&) = delete;
  SignalPlayer& operator=(const SignalPlayer&) = delete;

  std::string description() const override { return description_; }
  bool tunable() const override { return iq_; }
  std::optional<double> tunedHz() const override {
    const std::scoped_lock lock(mutex_);
    return tunedHz_;
  }
  bool onAir() const override { return input_->retunes(); }

  void tune(double hz) override {
    const std::scoped_lock lock(mutex_);
    tunedHz_ = hz;
    retuned_ = true;
  }

 private:
  // How one pass over the input ended.
  enum class Pass { Ended, Stopped, Failed, Reopen };

  void run(ReceiverListener& listener) override {
    for (;;) {
      const Pass pass = play(listener);
      if (pass == Pass::Stopped || pass == Pass::Failed) return;
      if (pass == Pass::Ended) break;
    }
  }

  Pass play(ReceiverListener& listener) {
    double centre = 0;
    {
      const std::scoped_lock lock(mutex_);
      centre = centreHz_;
    }
    auto opened = input_->open(centre, stop_);
    if (auto* problem = std::get_if<std::string>(&opened)) return fail(listener, *problem);
    feed::SampleInput& input = *std::get<std::unique_ptr<feed::SampleInput>>(opened);
    const double rate = input.sampleRate();
    if (auto problem = unfit(input)) return fail(listener, *problem);
    std::optional<receiver::ReceiverChain> chain;
    try {
      chain.emplace(
          receiver::ChainSettings{iq_ ? receiver::SignalKind::Iq : receiver::SignalKind::Multiplex,
                                  rate, iq_ ? *tunedHz() - centre : 0.0});
    } catch (const std::invalid_argument& error) {
      return fail(listener, error.what());
    }
    // Every station of an I/Q capture at once, for the list and the picture.
    std::unique_ptr<scan::CaptureScan> survey;
    if (iq_) {
      survey = std::make_unique<scan::CaptureScan>(scan::ScanSettings{
          rate, input_->retunes() ? std::optional(centre) : std::nullopt, std::nullopt});
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
      if (auto retune = takeRetune(rate)) {
        if (retune->reopen) {
          input_->close(true);
          return Pass::Reopen;
        }
        const double hz = *tunedHz();
        try {
          chain->retune(hz - centre);
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
      if (input_->paced()) {
        const std::chrono::duration<double> played(chain->seconds());
        feed::waitUntil(startedAt + std::chrono::duration_cast<feed::PaceClock::duration>(played),
                        stop_);
      }
      for (const RdsGroup& group : groups)
        listener.groupReceived(group);
      groups.clear();
      if (Clock::now() - reported >= kReportInterval) {
        reported = Clock::now();
        report(listener, *chain, survey, centre, tuned);
      }
    }
    if (stop_) {
      input_->close(true);
      return Pass::Stopped;
    }
    chain->finish(keep);
    for (const RdsGroup& group : groups)
      listener.groupReceived(group);
    report(listener, *chain, survey, centre, tuned);
    if (auto trouble = input_->close(false)) return fail(listener, *trouble);
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
    return Pass::Ended;
  }

  Pass fail(ReceiverListener& listener, const std::string& problem) {
    listener.said(problem, true);
    listener.ended(true);
    return Pass::Failed;
  }

  std::optional<std::string> unfit(const feed::SampleInput& input) const {
    if (iq_ && input.channels() != 2) {
      return "holds " + std::to_string(input.channels()) +
             " channels, and I/Q takes two, I then Q (a multiplex recording goes with --mpx)";
    }
    return std::nullopt;
  }

  struct Retune {
    bool reopen = false;
  };

  // A tune() since the last look: within the capture the chain is retuned; a stick is tuned to a
  // station outside it by starting it again there.
  std::optional<Retune> takeRetune(double rate) {
    const std::scoped_lock lock(mutex_);
    if (!retuned_) return std::nullopt;
    retuned_ = false;
    const bool inside = std::abs(tunedHz_ - centreHz_) <= rate / 2 - kChannelHalfWidthHz;
    if (inside || !input_->retunes()) return Retune{};
    centreHz_ = tunedHz_;
    return Retune{true};
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
              const std::unique_ptr<scan::CaptureScan>& survey, double centre, Station& tuned) {
    const receiver::ReceptionStatus status = chain.status();
    Reception reception;
    reception.pilot = status.rds.pilot;
    reception.snrDb = status.rds.snrDb;
    reception.blocksLost = status.rds.blockErrorRate;
    reception.groups = chain.counts().completeGroups;
    if (status.carrier) {
      reception.carrierDbfs = status.carrier->levelDbfs;
      reception.echoUndone = status.carrier->equalizing;
      tuned.levelDb = status.carrier->levelDbfs;
    }
    if (status.rds.blockErrorRate && status.rds.carrier) {
      tuned.quality = 1.0 - *status.rds.blockErrorRate;
    }
    listener.receptionChanged(reception);
    if (!survey) {
      listener.stationsChanged({tuned});
      return;
    }
    listener.bandChanged(pictureOf(survey->picture(), centre));
    const std::vector<scan::StationReport> reports = survey->stations();
    if (tuneToStrongest_ && !reports.empty()) {
      tuneToStrongest_ = false;
      const auto& strongest =
          *std::ranges::max_element(reports, {}, &scan::StationReport::levelDbfs);
      if (std::ranges::none_of(reports, [&](const scan::StationReport& report) {
            return std::abs(centre + report.offsetHz - tuned.frequencyHz) < kSameStationHz;
          })) {
        tune(centre + strongest.offsetHz);
      }
    }
    listener.stationsChanged(listStations(reports, centre, tuned));
  }

  std::string description_;
  std::unique_ptr<SignalInput> input_;
  bool iq_;
  mutable std::mutex mutex_;
  double centreHz_;
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
  const bool iq = recording.kind != RecordingKind::Multiplex;
  return std::make_unique<SignalPlayer>(description, std::make_unique<RecordingInput>(recording),
                                        iq, 0.0, offsetHz);
}

std::unique_ptr<Receiver> makeStickReceiver(const StickSettings& settings) {
  std::ostringstream description;
  description << "the stick (gain " << settings.gainDb << " dB, correction " << settings.ppm
              << " ppm)";
  return std::make_unique<SignalPlayer>(description.str(), std::make_unique<StickInput>(settings),
                                        true, settings.frequencyHz, 0.0);
}

}  // namespace tavimor::radio
