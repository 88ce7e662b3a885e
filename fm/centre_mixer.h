// SPDX-License-Identifier: GPL-3.0-or-later
// The first step at the I/Q rate: samples a damaged recording holds out of range brought back, the
// tuner's own DC taken out, and the station turned to the centre of the band.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <span>
#include <vector>

#include "dsp/dc_remover.h"
#include "dsp/oscillator.h"

namespace tavimor::fm {

// A carrier this near the centre lies on the tuner's DC, which is then left in: an unmodulated
// carrier is a line at its frequency, and taking out the DC would take the carrier out with it.
inline constexpr double kDcGuardHz = 1'000.0;
// The tuner's DC moves slowly: it is followed over this long.
inline constexpr double kDcSeconds = 0.1;

// A sample of a damaged recording brought back: a NaN or an infinity would stay in the filters and
// the equalizer for good, so it becomes 0, and anything far out of the range of +-1 is held near
// it.
inline float withinRange(float value) {
  constexpr float kLargest = 4.0F;
  return std::isnan(value) ? 0.0F : std::min(std::max(value, -kLargest), kLargest);
}
inline std::complex<float> withinRange(std::complex<float> sample) {
  return {withinRange(sample.real()), withinRange(sample.imag())};
}

class CentreMixer {
 public:
  // offsetHz: where the station's carrier lies from the centre.
  CentreMixer(double sampleRate, double offsetHz);

  // Replaces `out` with the input, mixed.
  void process(std::span<const std::complex<float>> in, std::vector<std::complex<float>>& out);

 private:
  // None where the carrier lies on the DC.
  std::optional<dsp::DcRemover> dcRemover_;
  // None for a station at the centre.
  std::optional<dsp::Oscillator> oscillator_;
};

}  // namespace tavimor::fm
