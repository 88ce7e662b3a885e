// SPDX-License-Identifier: GPL-3.0-or-later
// The whole receiver, from a tuner's I/Q samples or an FM multiplex signal to RDS groups: the FM
// receiver (for I/Q) and the multiplex decoder composed, every group stamped with when it ended on
// air, and one status for the reception. The groups found do not depend on how the samples are
// cut into calls. The feeder, the radio, the tests and the benchmarks all receive through it.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "fm/fm_receiver.h"
#include "mpx/decoded_group.h"
#include "mpx/mpx_decoder.h"

namespace tavimor::receiver {

enum class SignalKind {
  // Complex samples of a tuner's band, the station somewhere in it.
  Iq,
  // The FM multiplex of one station, as a discriminator gives it.
  Multiplex,
  // One station's channel out of a band, already mixed to the centre, filtered and decimated by
  // a channelizer that serves many stations at once (fm::kChannelHz passed, at least
  // fm::kMinChannelRate); given as I/Q.
  Channel,
};

struct ChainSettings {
  SignalKind kind = SignalKind::Multiplex;
  double sampleRate = 0.0;
  // Iq only: where the station's carrier lies from the centre of the band.
  double offsetHz = 0.0;
};

struct TimedGroup {
  mpx::DecodedGroup group;
  // When its last bit ended on air, in seconds from the first sample the chain was given.
  double endSeconds = 0.0;
};
using TimedGroupHandler = std::function<void(const TimedGroup&)>;

struct ReceptionStatus {
  // How the carrier is received; none for a multiplex signal, which has no carrier left.
  std::optional<fm::CarrierStatus> carrier;
  mpx::ReceptionStatus rds;
};

class ReceiverChain {
 public:
  // Throws std::invalid_argument with a message fit to show the user for a rate or an offset the
  // receiver cannot take.
  explicit ReceiverChain(const ChainSettings& settings);
  ~ReceiverChain();
  ReceiverChain(ReceiverChain&& other) noexcept;
  ReceiverChain& operator=(ReceiverChain&& other) noexcept;
  ReceiverChain(const ReceiverChain&) = delete;
  ReceiverChain& operator=(const ReceiverChain&) = delete;

  const ChainSettings& settings() const;

  // The next samples: for I/Q, at full scale +-1 (8-bit input is (byte - 127.5) / 127.5); for a
  // multiplex, 75 kHz of deviation = +-1. Calls onGroup for every group that ends within them, as
  // soon as its last block is decided.
  void process(std::span<const std::complex<float>> iq, const TimedGroupHandler& onGroup);
  void process(std::span<const float> multiplex, const TimedGroupHandler& onGroup);
  // The input has ended: the group in progress and whatever the samples given still hold. Once,
  // last.
  void finish(const TimedGroupHandler& onGroup);

  // Another station: for I/Q the one at offsetHz in the same band, for a multiplex or a channel
  // whatever comes next. The station before is forgotten; times and counts go on.
  void retune(double offsetHz = 0.0);

  // Cheap: for a status line a few times a second.
  ReceptionStatus status() const;
  const mpx::DecoderCounts& counts() const;
  // Of signal given.
  double seconds() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavimor::receiver
