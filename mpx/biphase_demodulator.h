// SPDX-License-Identifier: GPL-3.0-or-later
// From the RDS baseband to soft channel symbols: the filter matched to the shaped biphase symbol,
// the carrier's phase, the symbol clock and the symbols' level. With a pilot, carrier and clock
// are measured against it (3 x and 1/16 of its phase), yet each loop keeps a frequency of its own
// beside it: an RDS encoder may run on a crystal of its own, and multipath bends the phase
// relation between pilot and subcarrier.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <deque>
#include <vector>

#include "dsp/liquid.h"
#include "dsp/running_mean.h"
#include "dsp/tracking_loop.h"
#include "mpx/carrier_recovery.h"
#include "mpx/pilot_tracker.h"
#include "mpx/symbol_level.h"

namespace tavimor::mpx {

struct ChannelSymbol {
  // The log-likelihood ratio of the two values: its sign the value, its magnitude the reliability.
  float soft = 0.0F;
  // The reliability a symbol without noise would have at the present signal-to-noise ratio.
  float cleanReliability = 0.0F;
  // Where the symbol's pulse was centred, in baseband samples counted from the first.
  double centre = 0.0;
};

class BiphaseDemodulator {
 public:
  explicit BiphaseDemodulator(double rate);

  // Baseband samples from the pulse's centre to the filter's output.
  double delay() const { return delay_; }
  const SymbolLevel& level() const { return level_; }
  // How clearly the symbols stand out of the quadrature: 1 clean, 0 noise alone.
  double carrierClarity() const { return carrier_.clarity(); }

  // The next RDS baseband sample, with the pilot as tracked up to it.
  void push(std::complex<float> rds, const PilotTracker& pilot, std::vector<ChannelSymbol>& out);

 private:
  static constexpr std::size_t kRing = 32;
  // Where the clock might as well be, in eighths of a symbol from its centre.
  static constexpr int kEarliestOffset = -3;
  static constexpr std::size_t kOffsets = 8;

  void followPilot(const PilotTracker& pilot);
  void decide(double centre, std::vector<ChannelSymbol>& out);
  void alignClock(double centre);
  void trackClock(std::complex<float> raw, double centre);
  std::complex<float> filteredAt(double at) const;

  double samplesPerSymbol_;
  double delay_;
  double spread_;  // early and late samples either side of the symbol's centre
  dsp::FirFilter matched_;
  std::array<std::complex<float>, kRing> filtered_{};
  std::uint64_t count_ = 0;
  bool pilot_ = false;
  double lastPilotPhase_ = 0.0;
  double pilotFrequencyError_ = 0.0;
  CarrierRecovery carrier_;
  // The symbol clock, in symbols.
  dsp::TrackingLoop clock_;
  double nextSymbol_ = 1.0;
  std::deque<double> pending_;  // centres of symbols whose filter output is yet to come
  SymbolLevel level_;
  // The power at each offset, relative to the level's, and how long one other offset has led.
  std::vector<dsp::RunningMean<double>> offsetPower_;
  std::size_t leadingOffset_ = 0;
  unsigned ledFor_ = 0;
};

}  // namespace tavimor::mpx
