// SPDX-License-Identifier: GPL-3.0-or-later
// The band's power spectrum, the mean of the last half second: what the carriers are found in,
// and the band's picture. liquid-dsp's periodogram takes a share of the samples, enough for a
// steady average at a fraction of the cost of all of them.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dsp/liquid.h"

namespace tavimor::scan {

class BandSpectrum {
 public:
  explicit BandSpectrum(double bandRate);

  // The band's next samples, and the tuner's DC to take off them: a line at the centre is no
  // station.
  void process(std::span<const std::complex<float>> band, std::complex<float> dc);
  // Forgets the band: for a retune.
  void restart();

  // The power in each bin, of a full-scale carrier's, lowest frequency first: a band's bins summed
  // are its power. Empty until the first average.
  std::span<const double> power() const { return power_; }
  double binHz() const { return binHz_; }
  // Of the bin's centre, from the band's centre.
  double offsetOf(std::size_t bin) const;
  // How many averages the power has been taken from since the start or the restart.
  std::uint64_t frames() const { return frames_; }

 private:
  void endFrame();

  double binHz_;
  std::size_t size_;
  // One stretch of size_ samples in every `every_` is transformed.
  std::size_t every_;
  std::size_t stretch_ = 0;
  std::size_t filled_ = 0;
  std::vector<std::complex<float>> taken_;
  dsp::Periodogram periodogram_;
  unsigned transforms_ = 0;
  std::vector<float> frame_;
  // The last frames' powers, oldest replaced first, and their sum: a carrier that goes away
  // leaves the average with its last frame, however strong it was.
  std::vector<std::vector<double>> recent_;
  std::size_t oldest_ = 0;
  std::vector<double> sum_;
  std::vector<double> power_;
  std::uint64_t frames_ = 0;
};

}  // namespace tavimor::scan
