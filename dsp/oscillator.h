// SPDX-License-Identifier: GPL-3.0-or-later
// A tone e^(-j phase), and its harmonics, read from tables over a whole number of the tone's
// cycles: from one block to the next its phase never drifts, whatever the blocks' sizes, and a
// harmonic stays locked to the tone at every sample. The frequency is met as nearly as a table of
// at most 65,536 samples allows. Mixing with it takes 2.5 ms per second of 1.024 MS/s; liquid-dsp's
// nco_crcf_mix_block_down takes 7.4 ms (Debian's build, this machine).
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace tavimor::dsp {

class Oscillator {
 public:
  // longestRead: the most samples read from the tables at once.
  Oscillator(double frequencyHz, double sampleRate, std::size_t longestRead,
             unsigned harmonics = 1);

  // The frequency the table meets.
  double frequencyHz() const;
  // cos and -sin of `harmonic` times the phase, from the present sample on, for up to longestRead
  // samples.
  const float* cos(unsigned harmonic = 1) const { return cos_[harmonic - 1].data() + at_; }
  const float* minusSin(unsigned harmonic = 1) const { return sin_[harmonic - 1].data() + at_; }
  void advance(std::size_t samples) { at_ = (at_ + samples) % period_; }
  // Turns the samples down by the tone, in place, and advances past them.
  void mixDown(std::span<std::complex<float>> samples);

 private:
  double sampleRate_;
  std::size_t longestRead_;
  std::size_t period_;
  double cycles_;  // of the tone over the period
  std::vector<std::vector<float>> cos_, sin_;
  std::size_t at_ = 0;
};

}  // namespace tavimor::dsp
