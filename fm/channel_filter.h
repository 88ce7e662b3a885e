// SPDX-License-Identifier: GPL-3.0-or-later
// The station's channel: low-passed and decimated from the I/Q rate to the rate the equalizer
// and the discriminator run at. liquid-dsp designs the taps; a polyphase sum runs them.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "dsp/kernels.h"

namespace tavimor::fm {

class ChannelFilter {
 public:
  // passband and stopband in Hz, at the input rate.
  ChannelFilter(double inputRate, unsigned decimation, double passbandHz, double stopbandHz,
                double attenuationDb);

  // Appends one sample for every `decimation` input samples.
  void process(std::span<const std::complex<float>> input,
               std::vector<std::complex<float>>& output);
  // In input samples.
  double delay() const { return delay_; }

 private:
  unsigned decimation_;
  // Oldest first, as the windows are.
  std::vector<float> taps_;
  double delay_;
  dsp::SplitComplexBuffer block_;
  unsigned sinceOutput_ = 0;
};

}  // namespace tavimor::fm
