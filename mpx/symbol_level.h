// SPDX-License-Identifier: GPL-3.0-or-later
// The level of the symbols and of the noise on them, from the matched filter's output at each
// symbol's centre with the carrier removed. The in-phase part of a symbol is one of two values
// plus noise; their second and fourth moments tell the two apart. Every output is limited to a
// few times the level learnt so far, so that a click moves the estimates little, and a jump of
// the whole level (a gain changed, a silence, another station) is learnt again from the latest
// symbols alone; estimates from few symbols are trusted accordingly less.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>

namespace tavimor::mpx {

class SymbolLevel {
 public:
  // Takes the next symbol's output.
  void observe(std::complex<float> y);

  // The mean power of the outputs, never 0: what the detectors are scaled by.
  double power() const { return power_; }
  // A clean symbol's in-phase part.
  double amplitude() const;
  // The variance of the noise on the in-phase part.
  double noise() const;
  // The log-likelihood ratio of the symbol whose in-phase part this is.
  double logLikelihoodRatio(double inPhase) const;
  // The reliability of a clean symbol: the ratio's magnitude without noise.
  double cleanReliability() const;

 private:
  static constexpr std::size_t kRecent = 32;
  // A floor under the power: far below a 16-bit sample's least step.
  static constexpr double kLeastPower = 1e-20;

  bool jumped() const;
  void learnAgain();
  double trust() const;

  std::array<std::complex<float>, kRecent> recent_{};
  std::uint64_t observed_ = 0;
  std::uint64_t sinceLearnt_ = 0;
  double power_ = kLeastPower;
  // The in-phase part's second and fourth moments.
  double moment2_ = 0.0;
  double moment4_ = 0.0;
};

}  // namespace tavimor::mpx
