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

#include "dsp/kernels.h"

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
  // The share of the taps' departure from the pass-through that each update takes back, from 0
  // (none) on: in noise the constant-modulus update draws the taps into a low-pass that quietens
  // the envelope but weakens the RDS sidebands, and a leak holds them at the pass-through.
  void setLeak(float share) { leak_ = share; }
  // The power of the taps' part that is not mirrored, conjugated, about the strongest tap, over
  // that tap's. 0 for a pass-through and for any filter whose response is real, as the low-pass
  // that noise draws the taps into is; for an echo's inverse, which lies all on one side, the
  // power of the echo and its repeats over the direct path's.
  float asymmetry() const;

 private:
  void update(std::complex<float> output, std::size_t n);
  void leakTowardsPassThrough();
  std::size_t strongestTap() const;

  std::size_t mainTap_;
  float step_;
  std::size_t updateEvery_;
  std::size_t sinceUpdate_ = 0;
  dsp::SplitComplexBuffer block_;
  // Oldest first, as the windows are.
  std::vector<float> tapRe_, tapIm_;
  // The power of the samples in the window, for the step's normalisation.
  double windowPower_ = 0.0;
  float leak_ = 0.0F;
};

}  // namespace tavimor::fm
