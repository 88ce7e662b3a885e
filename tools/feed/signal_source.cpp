// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/signal_source.h"

#include <unistd.h>

#include <cmath>
#include <complex>
#include <deque>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "fm/fm_receiver.h"
#include "mpx/mpx_decoder.h"
#include "tools/feed/messages.h"
#include "tools/feed/pacer.h"
#include "tools/feed/sample_input.h"
#include "tools/feed/status_line.h"

namespace tavimor::feed {
namespace {

// Signal without a group for this long is worth a word while decoding.
constexpr double kHintSeconds = 5.0;

// Turns the input's frames into the multiplex signal the decoder takes.
class MultiplexFront {
 public:
  virtual ~MultiplexFront() = default;
  virtual double rate() const = 0;
  virtual void convert(std::span<const float> frames, std::vector<float>& multiplex) = 0;
  // When, in seconds from the input's first sample, this multiplex sample was on air.
  virtual double secondsAt(std::uint64_t multiplexSample) const = 0;
  // How the carrier is received, for the status line: nothing where there is no carrier to see.
  virtual std::string carrier() const { return {}; }
};

// A multiplex recording's first channel.
class FirstChannel final : public MultiplexFront {
 public:
  FirstChannel(double rate, unsigned channels) : rate_(rate), channels_(channels) {}

  double rate() const override { return rate_; }

  void convert(std::span<const float> frames, std::vector<float>& multiplex) override {
    multiplex.clear();
    for (std::size_t i = 0; i < frames.size(); i += channels_)
      multiplex.push_back(frames[i]);
  }

  double secondsAt(std::uint64_t multiplexSample) const override {
    return static_cast<double>(multiplexSample) / rate_;
  }

 private:
  double rate_;
  unsigned channels_;
};

// The station received from its I/Q, I in the first channel and Q in the second.
class FmFront final : public MultiplexFront {
 public:
  FmFront(double iqRate, double offsetHz) : receiver_(iqRate, offsetHz) {}

  double rate() const override { return receiver_.multiplexRate(); }

  void convert(std::span<const float> frames, std::vector<float>& multiplex) override {
    iq_.resize(frames.size() / 2);
    for (std::size_t i = 0; i < iq_.size(); ++i)
      iq_[i] = {frames[2 * i], frames[2 * i + 1]};
    multiplex.clear();
    receiver_.process(iq_, multiplex);
  }

  double secondsAt(std::uint64_t multiplexSample) const override {
    return std::max(0.0, static_cast<double>(multiplexSample) - receiver_.delay()) /
           receiver_.multiplexRate();
  }

  std::string carrier() const override {
    const fm::CarrierStatus status = receiver_.status();
    std::ostringstream text;
    text << "carrier " << std::lround(status.levelDbfs) << " dBFS";
    if (status.equalizing) text << ", echo undone";
    return text.str();
  }

 private:
  fm::FmReceiver receiver_;
  std::vector<std::complex<float>> iq_;
};

struct DecodedInTime {
  LogBlocks blocks;
  std::optional<LogTime> time;
  PaceClock::duration sinceStart;  // of the input, when the group ended
};

std::string percent(double share) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(1) << share * 100.0 << " %";
  return text.str();
}

// "pilot, RDS 4.1 % at SNR 14 dB in 4.8 kHz, 2.0 % of blocks lost, 1234 groups"; until the
// station's blocks are found, "pilot, no RDS, 0 groups", whatever seems to stand at 57 kHz.
std::string describeReception(const mpx::ReceptionStatus& status, std::uint64_t groups) {
  std::ostringstream text;
  text << (status.pilot ? "pilot" : "no pilot") << ", ";
  if (status.carrier && status.blockErrorRate) {
    text << "RDS " << percent(status.rdsLevel);
    if (status.snrDb) text << " at SNR " << std::lround(*status.snrDb) << " dB in 4.8 kHz";
  } else {
    text << "no RDS";
  }
  if (status.blockErrorRate) text << ", " << percent(*status.blockErrorRate) << " of blocks lost";
  text << ", " << counted(groups, "group");
  return text.str();
}

// What kind of input the feeder was given, for the likely causes when it holds no RDS.
struct InputKind {
  bool iq;
  bool raw;
};

std::string likelyCauses(InputKind kind) {
  if (kind.raw && kind.iq) {
    return "is the input raw unsigned 8-bit I/Q at the right --rate (1024000 samples a second "
           "unless given), with the station at the centre or --offset?";
  }
  if (kind.raw) {
    return "is the input the FM multiplex at the right --rate (171000 samples a second unless "
           "given), and raw signed 16-bit little-endian? A sound file goes as INPUT, not on "
           "standard input, and I/Q with --iq.";
  }
  if (kind.iq) return "does the recording hold the station at its centre or at --offset?";
  return "is the recording an FM multiplex signal, not audio? A two-channel I/Q recording goes "
         "with --iq.";
}

std::string noRdsHint(const mpx::ReceptionStatus& status, double seconds, InputKind kind) {
  std::ostringstream text;
  text << kProgramName << ": no RDS found in " << std::fixed << std::setprecision(1) << seconds
       << " s of signal: ";
  if (status.carrier) {
    text << "an RDS subcarrier, but no group came through whole: the signal may be too weak\n";
    return text.str();
  }
  text << (status.pilot ? "a pilot but no 57 kHz RDS subcarrier (the station may send no RDS); "
                        : "no pilot and no 57 kHz carrier; ")
       << likelyCauses(kind) << '\n';
  return text.str();
}

class SignalSource final : public GroupSource {
 public:
  SignalSource(std::unique_ptr<SampleInput> input, std::unique_ptr<MultiplexFront> front,
               std::string inputName, const FeedOptions& options, StatusOutput status,
               const std::atomic<bool>& stop)
      : input_(std::move(input)),
        front_(std::move(front)),
        decoder_(front_->rate()),
        inputName_(std::move(inputName)),
        kind_{options.iq, *options.logFile == "-"},
        timed_(options.timed),
        watched_(input_->live() || options.timed),
        showStatus_(watched_ && !options.quiet),
        statusStream_(status.stream),
        statusLine_(status.stream, status.terminal),
        stop_(stop) {}

  std::optional<FedGroup> next() override {
    while (decoded_.empty() && !ended_ && !stop_)
      decodeMore();
    if (decoded_.empty() || stop_) return std::nullopt;
    const DecodedInTime group = decoded_.front();
    decoded_.pop_front();
    if (timed_ && !waitUntil(startedAt_ + group.sinceStart, stop_)) return std::nullopt;
    return FedGroup{group.blocks, group.time};
  }

  std::string finish(const FeedOutcome& outcome) override {
    statusLine_.end();
    std::string text;
    if (const auto error = input_->error()) text += problemLine(inputName_, *error);
    const mpx::DecoderCounts& counts = decoder_.counts();
    text += std::string(kProgramName) + ": decoded " + counted(counts.groups, "group") + " (" +
            std::to_string(counts.completeGroups) + " whole), " + counted(counts.blocks, "block") +
            " good and " + std::to_string(counts.lostBlocks) + " lost; sent " +
            counted(outcome.sent, "group");
    if (outcome.skippedIncomplete > 0)
      text += ", skipped " + std::to_string(outcome.skippedIncomplete) + " with a lost block";
    text += '\n';
    if (counts.groups == 0 && !input_->error() && signalSeconds() > 0.0)
      text += noRdsHint(decoder_.status(), signalSeconds(), kind_);
    return text;
  }

  // A signal that ended without any RDS in it failed what it was given for.
  bool failed() const override {
    return input_->error().has_value() || (ended_ && decoder_.counts().groups == 0);
  }

 private:
  void decodeMore() {
    input_->read(frames_);
    const auto keepGroup = [&](const mpx::DecodedGroup& group) { keep(group); };
    if (frames_.empty()) {
      // Stopped, the signal has not ended.
      if (stop_) return;
      decoder_.finish(keepGroup);
      ended_ = true;
      return;
    }
    front_->convert(frames_, multiplex_);
    multiplexSamples_ += multiplex_.size();
    decoder_.process(multiplex_, keepGroup);
    if (watched_) watch();
  }

  void watch() {
    if (showStatus_) {
      statusLine_.update([&] {
        const std::string carrier = front_->carrier();
        return std::string(kProgramName) + ": " + (carrier.empty() ? "" : carrier + ", ") +
               describeReception(decoder_.status(), decoder_.counts().groups);
      });
    }
    if (!hinted_ && decoder_.counts().groups == 0 && signalSeconds() >= kHintSeconds) {
      hinted_ = true;
      statusLine_.end();
      statusStream_ << noRdsHint(decoder_.status(), signalSeconds(), kind_) << std::flush;
    }
  }

  double signalSeconds() const { return static_cast<double>(multiplexSamples_) / front_->rate(); }

  void keep(const mpx::DecodedGroup& group) {
    const std::chrono::duration<double> ended(front_->secondsAt(group.endSample));
    const auto onAir =
        input_->live()
            ? std::chrono::system_clock::now()
            : signalStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(ended);
    decoded_.push_back({group.blocks, std::chrono::floor<Centiseconds>(onAir),
                        std::chrono::duration_cast<PaceClock::duration>(ended)});
  }

  std::unique_ptr<SampleInput> input_;
  std::unique_ptr<MultiplexFront> front_;
  mpx::MpxDecoder decoder_;
  std::string inputName_;
  InputKind kind_;
  bool timed_;
  bool watched_;  // decoded while it is on air or played at its pace: someone may be waiting
  bool showStatus_;
  std::ostream& statusStream_;
  StatusLine statusLine_;
  const std::atomic<bool>& stop_;
  const PaceClock::time_point startedAt_ = PaceClock::now();
  const std::chrono::system_clock::time_point signalStart_ = std::chrono::system_clock::now();
  std::vector<float> frames_;
  std::vector<float> multiplex_;
  std::uint64_t multiplexSamples_ = 0;
  std::deque<DecodedInTime> decoded_;
  bool ended_ = false;
  bool hinted_ = false;
};

std::variant<std::unique_ptr<SampleInput>, SourceError> openInput(const FeedOptions& options,
                                                                  const std::atomic<bool>& stop) {
  const std::string& name = *options.logFile;
  if (name == "-") {
    const RawFormat format = options.iq ? RawFormat::Unsigned8Iq : RawFormat::S16le;
    const double rate =
        options.sampleRate.value_or(options.iq ? kDefaultIqSampleRate : kDefaultMpxSampleRate);
    return openRawSamples(STDIN_FILENO, format, rate, stop);
  }
  auto opened = openSoundFile(name);
  if (auto* problem = std::get_if<std::string>(&opened)) return SourceError{name, *problem};
  return std::move(std::get<std::unique_ptr<SampleInput>>(opened));
}

std::string rateText(double rate) {
  return std::to_string(std::llround(rate));
}

std::variant<std::unique_ptr<MultiplexFront>, std::string> makeFront(const FeedOptions& options,
                                                                     const SampleInput& input) {
  const double rate = input.sampleRate();
  if (!options.iq) {
    if (rate < mpx::kMinSampleRate) {
      return "its " + rateText(rate) +
             " samples a second cannot carry RDS (at least 128000 are needed)";
    }
    return std::make_unique<FirstChannel>(rate, input.channels());
  }
  if (input.channels() != 2) {
    return "holds " + counted(input.channels(), "channel") +
           ", and I/Q takes two, I then Q (a multiplex recording goes with --mpx)";
  }
  if (rate < fm::kMinIqRate || rate > fm::kMaxIqRate) {
    return "its " + rateText(rate) +
           " samples a second are outside what the receiver takes (900000 to 3200000)";
  }
  try {
    return std::make_unique<FmFront>(rate, options.offsetHz.value_or(0.0));
  } catch (const std::invalid_argument& error) {
    return std::string(error.what());
  }
}

}  // namespace

OpenedSource openSignalSource(const FeedOptions& options, StatusOutput status,
                              const std::atomic<bool>& stop) {
  auto opened = openInput(options, stop);
  if (auto* error = std::get_if<SourceError>(&opened)) return *error;
  auto input = std::move(std::get<std::unique_ptr<SampleInput>>(opened));
  const std::string name = *options.logFile == "-" ? "(standard input)" : *options.logFile;
  auto front = makeFront(options, *input);
  if (auto* problem = std::get_if<std::string>(&front)) return SourceError{name, *problem};
  return std::make_unique<SignalSource>(std::move(input),
                                        std::move(std::get<std::unique_ptr<MultiplexFront>>(front)),
                                        name, options, status, stop);
}

}  // namespace tavimor::feed
