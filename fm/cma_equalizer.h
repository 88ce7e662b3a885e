// SPDX-License-Identifier: GPL-3.0-or-later
// A blind equalizer for FM multipath. An FM carrier has a constant envelope; an echo makes it
// swing as the frequency sweeps across the echo's nulls. The constant-modulus algorithm adapts an
// FIR filter until the envelope is constant again, which undoes the echo without knowing anything
// the station sent.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "fm/split_block.h"

namespace tavimor::fm {

class CmaEqualizer {
 public:
  // taps: the filter's length; mainTap: the one tap that starts at 1, so that a clean signal
  // passes unchanged, mainTap samples late; step: the share of the way to the unit circle that
  // one update goes, normalised by the input's power so that it is the same at any level;
  // updateEvery: the samples from one update of the taps to the next.
  CmaEqualizer(std::size_t taps, std::size_t mainTap, float step, std::size_t updateEvery);

  // Filters in place. The envelope the taps aim for is 1: the input's power should be about 1.
  void process(std::span<std::complex<float>> samples);

  std::size_t delay() const { return mainTap_; }
  // The power of all taps but the strongest, over that tap's: 0 while it passes the signal
  // unchanged.
  float spread() const;

 private:
  void update(std::complex<float> output, std::size_t n);

  std::size_t mainTap_;
  float step_;
  std::size_t updateEvery_;
  std::size_t sinceUpdate_ = 0;
  SplitBlock block_;
  // Oldest first, as the windows are.
  std::vector<float> tapRe_, tapIm_;
  // The power of the samples in the window, for the step's normalisation.
  double windowPower_ = 0.0;
};

}  // namespace tavimor::fm
