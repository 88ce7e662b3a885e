// SPDX-License-Identifier: GPL-3.0-or-later
// The first step at the I/Q rate: samples a damaged recording holds out of range brought back, the
// tuner's own DC taken out, and the station turned to the centre of the band.
#pragma once

#include <complex>
#include <optional>
#include <span>
#include <vector>

#include "dsp/dc_remover.h"
#include "dsp/oscillator.h"

namespace tavimor::fm {

class CentreMixer {
 public:
  // offsetHz: where the station's carrier lies from the centre.
  CentreMixer(double sampleRate, double offsetHz);

  // Replaces `out` with the input, mixed.
  void process(std::span<const std::complex<float>> in, std::vector<std::complex<float>>& out);

 private:
  // None where the carrier lies on the DC: an unmodulated carrier is a line at its frequency, and
  // taking out the DC would take the carrier out with it.
  std::optional<dsp::DcRemover> dcRemover_;
  // None for a station at the centre.
  std::optional<dsp::Oscillator> oscillator_;
};

}  // namespace tavimor::fm
