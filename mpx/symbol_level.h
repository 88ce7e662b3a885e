// SPDX-License-Identifier: GPL-3.0-or-later
// The level of the symbols and of the noise on them, from the matched filter's output at each
// symbol's centre with the carrier removed. The in-phase part of a symbol is one of two values
// plus noise; their second and fourth moments tell the two apart. Every output is limited to a
// few times the level learnt so far, so that a click moves the estimates little, and a jump of
// the whole level (a gain changed, a silence, another station) is learnt again from the latest
// symbols alone; estimates from few symbols are trusted accordingly less. Digital silence teaches
// nothing.
#pragma once

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "dsp/running_mean.h"

namespace tavimor::mpx {

class SymbolLevel {
 public:
  // Takes the next symbol's output; true when the level had jumped, or the station came back from
  // a silence: its carrier's phase is worth finding again.
  bool observe(std::complex<float> y);

  // The mean power of the outputs, never 0: what the detectors are scaled by.
  double power() const { return std::max(learnt_.power.value(), kLeastPower); }
  // A clean symbol's in-phase part.
  double amplitude() const;
  // The variance of the noise on the in-phase part.
  double noise() const;
  // The log-likelihood ratio of the symbol whose in-phase part this is.
  double logLikelihoodRatio(double inPhase) const;
  // The reliability of a clean symbol: the ratio's magnitude without noise.
  double cleanReliability() const;
  // A clean symbol's power over the noise's on the in-phase part, from the symbols of the last
  // two seconds or so, steadier than the level that decisions follow: for a status line.
  double settledSignalToNoise() const;

 private:
  static constexpr std::size_t kRecent = 16;

  // A floor under the power, far below what a 16-bit sample's least step leaves in the RDS band:
  // silence, however it rings down in the filters, is all one level.
  static constexpr double kLeastPower = 1e-14;

  // The averages' length once settled, in symbols; and of the status line's, which start from the
  // level learnt after a second, not from the first symbols, taken before the carrier and the
  // clock were found.
  static constexpr double kSettledSymbols = 200.0;
  static constexpr double kStatusSymbols = 2'400.0;
  static constexpr std::uint64_t kStatusStart = 1'200;

  struct Estimates {
    dsp::RunningMean<double> power{kSettledSymbols};
    // The in-phase part's second and fourth moments.
    dsp::RunningMean<double> moment2{kSettledSymbols};
    dsp::RunningMean<double> moment4{kSettledSymbols};
    // Symbols learnt from.
    std::uint64_t since() const { return power.count(); }
  };

  bool jumped() const;
  void learnAgain();
  double trust() const;

  std::array<std::complex<float>, kRecent> recent_{};
  std::uint64_t observed_ = 0;
  std::uint64_t silentFor_ = 0;
  Estimates learnt_;
  dsp::RunningMean<double> statusMoment2_{kStatusSymbols};
  dsp::RunningMean<double> statusMoment4_{kStatusSymbols};
};

}  // namespace tavimor::mpx
