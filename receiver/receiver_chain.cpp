// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/receiver_chain.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace tavimor::receiver {

struct ReceiverChain::Impl {
  explicit Impl(const ChainSettings& chosen)
      : settings(chosen),
        front(frontFor(chosen)),
        decoder(front ? front->multiplexRate() : chosen.sampleRate,
                front ? mpx::Echoes::AlreadyUndone : mpx::Echoes::Undo) {}

  static std::optional<fm::FmReceiver> frontFor(const ChainSettings& settings) {
    if (settings.kind == SignalKind::Channel)
      return fm::FmReceiver::forChannel(settings.sampleRate);
    if (settings.kind != SignalKind::Iq) return std::nullopt;
    return fm::FmReceiver(settings.sampleRate, settings.offsetHz);
  }

  void decode(std::span<const float> samples, const TimedGroupHandler& onGroup) {
    multiplexGiven += samples.size();
    decoder.process(samples, [&](const mpx::DecodedGroup& group) { hand(group, onGroup); });
  }

  void hand(const mpx::DecodedGroup& group, const TimedGroupHandler& onGroup) const {
    onGroup({.group = group, .endSeconds = endSeconds(group.endSample)});
  }

  // The FM receiver's filters hold a signal back by its delay; the station's first multiplex
  // sample came from the input sample at which it was tuned to.
  double endSeconds(std::uint64_t multiplexSample) const {
    if (!front) return static_cast<double>(multiplexSample) / settings.sampleRate;
    const double sinceTuned =
        static_cast<double>(multiplexSample - multiplexAtTuning) - front->delay();
    return (static_cast<double>(inputAtTuning) / settings.sampleRate) +
           std::max(0.0, sinceTuned) / front->multiplexRate();
  }

  ChainSettings settings;
  std::optional<fm::FmReceiver> front;
  mpx::MpxDecoder decoder;
  std::vector<float> multiplex;
  std::uint64_t inputGiven = 0;
  std::uint64_t multiplexGiven = 0;
  std::uint64_t inputAtTuning = 0;
  std::uint64_t multiplexAtTuning = 0;
};

ReceiverChain::ReceiverChain(const ChainSettings& settings)
    : impl_(std::make_unique<Impl>(settings)) {}
ReceiverChain::~ReceiverChain() = default;
ReceiverChain::ReceiverChain(ReceiverChain&& other) noexcept = default;
ReceiverChain& ReceiverChain::operator=(ReceiverChain&& other) noexcept = default;

const ChainSettings& ReceiverChain::settings() const {
  return impl_->settings;
}

void ReceiverChain::process(std::span<const std::complex<float>> iq,
                            const TimedGroupHandler& onGroup) {
  Impl& d = *impl_;
  if (!d.front) throw std::logic_error("I/Q given to a multiplex receiver");
  d.inputGiven += iq.size();
  d.multiplex.clear();
  d.front->process(iq, d.multiplex);
  d.decode(d.multiplex, onGroup);
}

void ReceiverChain::process(std::span<const float> multiplex, const TimedGroupHandler& onGroup) {
  Impl& d = *impl_;
  if (d.front) throw std::logic_error("a multiplex given to an I/Q receiver");
  d.inputGiven += multiplex.size();
  d.decode(multiplex, onGroup);
}

void ReceiverChain::finish(const TimedGroupHandler& onGroup) {
  const Impl& d = *impl_;
  impl_->decoder.finish([&](const mpx::DecodedGroup& group) { d.hand(group, onGroup); });
}

void ReceiverChain::retune(double offsetHz) {
  Impl& d = *impl_;
  if (d.front) {
    ChainSettings settings = d.settings;
    settings.offsetHz = offsetHz;
    d.front = Impl::frontFor(settings);
    d.settings = settings;
  }
  d.decoder.reset();
  d.inputAtTuning = d.inputGiven;
  d.multiplexAtTuning = d.multiplexGiven;
}

ReceptionStatus ReceiverChain::status() const {
  const Impl& d = *impl_;
  ReceptionStatus status{.carrier = std::nullopt, .rds = d.decoder.status()};
  if (d.front) status.carrier = d.front->status();
  return status;
}

const mpx::DecoderCounts& ReceiverChain::counts() const {
  return impl_->decoder.counts();
}

double ReceiverChain::seconds() const {
  return static_cast<double>(impl_->inputGiven) / impl_->settings.sampleRate;
}

}  // namespace tavimor::receiver
