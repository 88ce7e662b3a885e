// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/signal_source.h"

#include <unistd.h>

#include <deque>
#include <memory>

#include "mpx/mpx_decoder.h"
#include "tools/feed/messages.h"
#include "tools/feed/pacer.h"
#include "tools/feed/sample_input.h"

namespace tavimor::feed {
namespace {

// Turns the input's frames into the multiplex signal the decoder takes.
class MultiplexFront {
 public:
  virtual ~MultiplexFront() = default;
  virtual double rate() const = 0;
  virtual void convert(std::span<const float> frames, std::vector<float>& multiplex) = 0;
  // When, in seconds from the input's first sample, this multiplex sample was on air.
  virtual double secondsAt(std::uint64_t multiplexSample) const = 0;
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

struct DecodedInTime {
  LogBlocks blocks;
  std::optional<LogTime> time;
  PaceClock::duration sinceStart;  // of the input, when the group ended
};

class SignalSource final : public GroupSource {
 public:
  SignalSource(std::unique_ptr<SampleInput> input, std::unique_ptr<MultiplexFront> front,
               std::string inputName, const FeedOptions& options, const std::atomic<bool>& stop)
      : input_(std::move(input)),
        front_(std::move(front)),
        decoder_(front_->rate()),
        inputName_(std::move(inputName)),
        timed_(options.timed),
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

  std::string summary(const FeedOutcome& outcome) const override {
    std::string text;
    if (const auto error = input_->error()) text += problemLine(inputName_, *error);
    const mpx::DecoderCounts& counts = decoder_.counts();
    text += std::string(kProgramName) + ": decoded " + counted(counts.groups, "group") + " (" +
            std::to_string(counts.completeGroups) + " whole), " + counted(counts.blocks, "block") +
            " good and " + std::to_string(counts.lostBlocks) + " lost; sent " +
            counted(outcome.sent, "group");
    if (outcome.skippedIncomplete > 0)
      text += ", skipped " + std::to_string(outcome.skippedIncomplete) + " with a lost block";
    return text + '\n';
  }

  bool failed() const override { return input_->error().has_value(); }

 private:
  void decodeMore() {
    input_->read(frames_);
    if (frames_.empty()) {
      ended_ = true;
      return;
    }
    front_->convert(frames_, multiplex_);
    decoder_.process(multiplex_, [&](const mpx::DecodedGroup& group) { keep(group); });
  }

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
  bool timed_;
  const std::atomic<bool>& stop_;
  const PaceClock::time_point startedAt_ = PaceClock::now();
  const std::chrono::system_clock::time_point signalStart_ = std::chrono::system_clock::now();
  std::vector<float> frames_;
  std::vector<float> multiplex_;
  std::deque<DecodedInTime> decoded_;
  bool ended_ = false;
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
  return std::to_string(static_cast<long long>(rate));
}

}  // namespace

OpenedSource openSignalSource(const FeedOptions& options, std::ostream& /*statusOut*/,
                              const std::atomic<bool>& stop) {
  auto opened = openInput(options, stop);
  if (auto* error = std::get_if<SourceError>(&opened)) return *error;
  auto input = std::move(std::get<std::unique_ptr<SampleInput>>(opened));
  const std::string name = *options.logFile == "-" ? "(standard input)" : *options.logFile;
  if (input->sampleRate() < mpx::kMinSampleRate) {
    return SourceError{name, "its " + rateText(input->sampleRate()) +
                                 " samples a second cannot carry RDS (at least 128000 are needed)"};
  }
  auto front = std::make_unique<FirstChannel>(input->sampleRate(), input->channels());
  return std::make_unique<SignalSource>(std::move(input), std::move(front), name, options, stop);
}

}  // namespace tavimor::feed
