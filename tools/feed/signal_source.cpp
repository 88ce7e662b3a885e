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

#include "receiver/receiver_chain.h"
#include "tools/feed/band_hop.h"
#include "tools/feed/messages.h"
#include "tools/feed/pacer.h"
#include "tools/feed/sample_input.h"
#include "tools/feed/status_line.h"

namespace tavimor::feed {
namespace {

// Signal without a group for this long is worth a word while decoding.
constexpr double kHintSeconds = 5.0;

std::string samplesPerSecond(double rate) {
  return std::to_string(std::llround(rate));
}

// The chain's samples from the input's frames: the first channel of a multiplex recording, or I
// and Q.
class FrameConverter {
 public:
  explicit FrameConverter(unsigned channels) : channels_(channels) {}

  void feed(std::span<const float> frames, receiver::ReceiverChain& chain,
            const receiver::TimedGroupHandler& onGroup) {
    if (chain.settings().kind == receiver::SignalKind::Iq) {
      iq_.resize(frames.size() / 2);
      for (std::size_t i = 0; i < iq_.size(); ++i)
        iq_[i] = {frames[2 * i], frames[2 * i + 1]};
      chain.process(iq_, onGroup);
      return;
    }
    if (channels_ == 1) {
      chain.process(frames, onGroup);
      return;
    }
    firstChannel_.clear();
    for (std::size_t i = 0; i < frames.size(); i += channels_)
      firstChannel_.push_back(frames[i]);
    chain.process(firstChannel_, onGroup);
  }

 private:
  unsigned channels_;
  std::vector<std::complex<float>> iq_;
  std::vector<float> firstChannel_;
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

std::string describeCarrier(const fm::CarrierStatus& status) {
  std::ostringstream text;
  text << "carrier " << std::lround(status.levelDbfs) << " dBFS";
  if (status.equalizing) text << ", echo undone";
  return text.str();
}

// "carrier -12 dBFS, pilot, RDS 4.1 % at SNR 14 dB in 4.8 kHz, 2.0 % of blocks lost, 1234 groups";
// until the station's blocks are found, "pilot, no RDS, 0 groups", whatever seems to stand at
// 57 kHz.
std::string describeReception(const receiver::ReceptionStatus& reception, std::uint64_t groups) {
  std::ostringstream text;
  if (reception.carrier) text << describeCarrier(*reception.carrier) << ", ";
  const mpx::ReceptionStatus& status = reception.rds;
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
    return "is the input raw unsigned 8-bit I/Q at the right --rate (" +
           samplesPerSecond(kDefaultIqSampleRate) +
           " samples a second unless given), with the station at the centre or --offset?";
  }
  if (kind.raw) {
    return "is the input the FM multiplex at the right --rate (" +
           samplesPerSecond(kDefaultMpxSampleRate) +
           " samples a second unless given), and raw signed 16-bit little-endian? A sound file "
           "goes as INPUT, not on standard input, and I/Q with --iq.";
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
  SignalSource(std::unique_ptr<SampleInput> input, receiver::ReceiverChain chain,
               std::string inputName, const FeedOptions& options, StatusOutput status,
               const std::atomic<bool>& stop)
      : input_(std::move(input)),
        chain_(std::move(chain)),
        frames_(input_->channels()),
        inputName_(std::move(inputName)),
        kind_{chain_.settings().kind == receiver::SignalKind::Iq, options.inputPath() == "-"},
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
    const mpx::DecoderCounts& counts = chain_.counts();
    text += std::string(kProgramName) + ": decoded " + counted(counts.groups, "group") + " (" +
            std::to_string(counts.completeGroups) + " whole), " + counted(counts.blocks, "block") +
            " good and " + std::to_string(counts.lostBlocks) + " lost; sent " +
            counted(outcome.sent, "group");
    if (outcome.skippedIncomplete > 0)
      text += ", skipped " + std::to_string(outcome.skippedIncomplete) + " with a lost block";
    text += '\n';
    if (counts.groups == 0 && !input_->error() && chain_.seconds() > 0.0)
      text += noRdsHint(chain_.status().rds, chain_.seconds(), kind_);
    return text;
  }

  // A signal that ended without any RDS in it failed what it was given for.
  bool failed() const override {
    return input_->error().has_value() || (ended_ && chain_.counts().groups == 0);
  }

 private:
  void decodeMore() {
    input_->read(samples_);
    const auto keepGroup = [&](const receiver::TimedGroup& group) { keep(group); };
    if (samples_.empty()) {
      // Stopped, the signal has not ended.
      if (stop_) return;
      chain_.finish(keepGroup);
      ended_ = true;
      return;
    }
    frames_.feed(samples_, chain_, keepGroup);
    if (watched_) watch();
  }

  void watch() {
    if (showStatus_) {
      statusLine_.update([&] {
        return std::string(kProgramName) + ": " +
               describeReception(chain_.status(), chain_.counts().groups);
      });
    }
    if (!hinted_ && chain_.counts().groups == 0 && chain_.seconds() >= kHintSeconds) {
      hinted_ = true;
      statusLine_.end();
      statusStream_ << noRdsHint(chain_.status().rds, chain_.seconds(), kind_) << std::flush;
    }
  }

  void keep(const receiver::TimedGroup& timed) {
    const mpx::DecodedGroup& group = timed.group;
    const std::chrono::duration<double> ended(timed.endSeconds);
    const auto onAir =
        input_->live()
            ? std::chrono::system_clock::now()
            : signalStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(ended);
    decoded_.push_back({group.blocks, std::chrono::floor<Centiseconds>(onAir),
                        std::chrono::duration_cast<PaceClock::duration>(ended)});
  }

  std::unique_ptr<SampleInput> input_;
  receiver::ReceiverChain chain_;
  FrameConverter frames_;
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
  std::vector<float> samples_;
  std::deque<DecodedInTime> decoded_;
  bool ended_ = false;
  bool hinted_ = false;
};

// The signal's file or raw samples, and the chain's settings for it.
struct SignalChoice {
  receiver::SignalKind kind;
  std::string path;
  std::optional<double> rawRate;
  double offsetHz = 0.0;
};

SignalChoice signalChoiceOf(const FeedInput& input) {
  if (const auto* iq = std::get_if<IqInput>(&input))
    return {receiver::SignalKind::Iq, iq->path, iq->rate, iq->offsetHz};
  const auto& multiplex = std::get<MultiplexInput>(input);
  return {receiver::SignalKind::Multiplex, multiplex.path, multiplex.rate};
}

std::variant<std::unique_ptr<SampleInput>, SourceError> openInput(const SignalChoice& choice,
                                                                  const FeedInput& given,
                                                                  const std::atomic<bool>& stop) {
  if (const auto* iqInput = std::get_if<IqInput>(&given); iqInput && iqInput->device) {
    auto opened = openDeviceInput(*iqInput, stop);
    if (auto* problem = std::get_if<std::string>(&opened)) {
      const std::string& args = iqInput->device->args;
      return SourceError{args.empty() ? "--device" : "--device=" + args, *problem};
    }
    return std::move(std::get<std::unique_ptr<SampleInput>>(opened));
  }
  const bool iq = choice.kind == receiver::SignalKind::Iq;
  if (choice.path == "-") {
    const RawFormat format = iq ? RawFormat::Unsigned8Iq : RawFormat::S16le;
    const double rate = choice.rawRate.value_or(iq ? kDefaultIqSampleRate : kDefaultMpxSampleRate);
    return openRawSamples(STDIN_FILENO, format, rate, stop);
  }
  auto opened = openSoundFile(choice.path);
  if (auto* problem = std::get_if<std::string>(&opened)) return SourceError{choice.path, *problem};
  return std::move(std::get<std::unique_ptr<SampleInput>>(opened));
}

std::variant<receiver::ReceiverChain, std::string> makeChain(const SignalChoice& choice,
                                                             const SampleInput& input) {
  const double rate = input.sampleRate();
  if (choice.kind == receiver::SignalKind::Multiplex && rate < mpx::kMinSampleRate) {
    return "its " + samplesPerSecond(rate) + " samples a second cannot carry RDS (at least " +
           samplesPerSecond(mpx::kMinSampleRate) + " are needed)";
  }
  if (choice.kind == receiver::SignalKind::Iq) {
    if (input.channels() != 2) {
      return "holds " + counted(input.channels(), "channel") +
             ", and I/Q takes two, I then Q (a multiplex recording goes with --mpx)";
    }
    if (rate < fm::kMinIqRate || rate > fm::kMaxIqRate) {
      return "its " + samplesPerSecond(rate) +
             " samples a second are outside what the receiver "
             "takes (" +
             samplesPerSecond(fm::kMinIqRate) + " to " + samplesPerSecond(fm::kMaxIqRate) + ")";
    }
  }
  try {
    return receiver::ReceiverChain(
        {.kind = choice.kind, .sampleRate = rate, .offsetHz = choice.offsetHz});
  } catch (const std::invalid_argument& error) {
    return std::string(error.what());
  }
}

}  // namespace

OpenedSource openSignalSource(const FeedOptions& options, StatusOutput status,
                              const std::atomic<bool>& stop) {
  const SignalChoice choice = signalChoiceOf(options.input);
  auto opened = openInput(choice, options.input, stop);
  if (auto* error = std::get_if<SourceError>(&opened)) return *error;
  auto input = std::move(std::get<std::unique_ptr<SampleInput>>(opened));
  const std::string name = choice.path == "-"    ? "(standard input)"
                           : choice.path.empty() ? "the tuner"
                                                 : choice.path;
  auto chain = makeChain(choice, *input);
  if (auto* problem = std::get_if<std::string>(&chain)) return SourceError{name, *problem};
  return std::make_unique<SignalSource>(std::move(input),
                                        std::move(std::get<receiver::ReceiverChain>(chain)), name,
                                        options, status, stop);
}

}  // namespace tavimor::feed
