// SPDX-License-Identifier: GPL-3.0-or-later
// From the RDS baseband to soft channel symbols: carrier phase, the filter matched to the shaped
// biphase symbol, and symbol timing. With a pilot, carrier and clock follow it and only their
// fixed offsets are learnt from the data; without, a squaring loop and an early-late loop do.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <deque>
#include <vector>

#include "mpx/liquid_filters.h"

namespace tavimor::mpx {

inline constexpr double kSymbolRate = 1'187.5;

struct ChannelSymbol {
  // The log-likelihood ratio of the two values: its sign the value, its magnitude the reliability.
  float soft = 0.0F;
  // The magnitude a symbol without noise would have at the present signal-to-noise ratio.
  float expected = 0.0F;
  // Where the symbol's pulse was centred, in baseband samples counted from the first.
  double centre = 0.0;
};

class BiphaseDemodulator {
 public:
  explicit BiphaseDemodulator(double rate);

  // Baseband samples from the pulse's centre to the filter's output.
  double delay() const { return delay_; }

  // pilotPhase: unwrapped, only used while the pilot is present.
  void push(std::complex<float> rds, bool pilotPresent, double pilotPhase,
            std::vector<ChannelSymbol>& out);

 private:
  void decide(double centre, std::vector<ChannelSymbol>& out);
  std::complex<float> filteredAt(double at) const;

  static constexpr std::size_t kRing = 32;

  double samplesPerSymbol_;
  double delay_;
  double spread_;  // early and late samples either side of the symbol's centre
  FirFilter matched_;
  std::array<std::complex<float>, kRing> filtered_{};
  std::uint64_t count_ = 0;
  bool pilot_ = false;
  double lastPilotPhase_ = 0.0;
  double carrier_ = 0.0;
  double carrierFrequency_ = 0.0;  // radians per sample, without a pilot
  double clock_ = 0.0;             // in symbols
  double clockFrequency_ = 0.0;    // symbols per sample beyond the nominal, without a pilot
  double nextSymbol_ = 1.0;
  std::deque<double> pending_;  // centres of symbols whose filter output is yet to come
  double power_ = 0.0;
  double halfwayPower_ = 0.0;
  // Second and fourth moments of the symbols scaled to unit power: signal and noise apart.
  double moment2_ = 0.0;
  double moment4_ = 0.0;
  std::uint64_t symbols_ = 0;
};

}  // namespace tavimor::mpx
