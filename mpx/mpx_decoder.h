// SPDX-License-Identifier: GPL-3.0-or-later
// RDS from an FM multiplex (MPX) signal: the 57 kHz subcarrier is demodulated, the biphase
// symbols are decided, and the bit stream is cut into checked blocks and groups. Plain C++.
#pragma once

#include <memory>
#include <optional>
#include <span>

#include "mpx/decoded_group.h"

namespace tavimor::mpx {

// Sample rates below this cannot carry the RDS subcarrier with room for a clean filter.
inline constexpr double kMinSampleRate = 128'000.0;

// How well the station is received, for a status line.
struct ReceptionStatus {
  bool pilot = false;         // a 19 kHz pilot is tracked
  bool carrier = false;       // a 57 kHz RDS subcarrier is found (symbols stand above noise)
  bool synchronised = false;  // block synchronisation holds
  // Peak level of the RDS subcarrier, as a fraction of the multiplex's full scale; 0 while no
  // carrier is found.
  double rdsLevel = 0.0;
  // The RDS subcarrier's power over the noise's in 57 kHz +- 2.4 kHz (4.8 kHz), estimated from
  // the symbols of the last two seconds or so; none while no carrier is found.
  std::optional<double> snrDb;
  // Of the blocks due since the station was found (its first block decided), over the last ten
  // seconds of signal, the share that failed their check or came while sync was lost; none before
  // the station is found.
  std::optional<double> blockErrorRate;
};

// Whether the decoder undoes an echo of the FM signal from the multiplex: a multiplex from a
// discriminator that saw the echo needs it; a receiver that equalized its channel before the
// discriminator left none to undo.
enum class Echoes { Undo, AlreadyUndone };

class MpxDecoder {
 public:
  using GroupHandler = mpx::GroupHandler;

  // sampleRate in Hz, at least kMinSampleRate; throws std::invalid_argument otherwise.
  explicit MpxDecoder(double sampleRate, Echoes echoes = Echoes::Undo);
  ~MpxDecoder();
  MpxDecoder(MpxDecoder&& other) noexcept;
  MpxDecoder& operator=(MpxDecoder&& other) noexcept;
  MpxDecoder(const MpxDecoder&) = delete;
  MpxDecoder& operator=(const MpxDecoder&) = delete;

  // Takes the next samples of the multiplex signal, full scale ±1, and calls onGroup for every
  // group that ends within them, as soon as its last block is decided. Groups are reported only
  // while block synchronisation holds, and only with at least one good block. The groups found
  // do not depend on how the samples are cut into calls.
  void process(std::span<const float> samples, const GroupHandler& onGroup);

  // The input has ended: reports the group in progress with the blocks decided so far (if any
  // good one), and whatever can still be decided from the samples already given. Call it once,
  // last.
  void finish(const GroupHandler& onGroup);

  // Forgets the station (clock, carrier, programme identification, sync): for a retune. Sample
  // indices and counts go on.
  void reset();

  const DecoderCounts& counts() const;
  // Cheap: for a status line once a second.
  ReceptionStatus status() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavimor::mpx
