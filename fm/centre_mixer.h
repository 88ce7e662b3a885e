// SPDX-License-Identifier: GPL-3.0-or-later
// The first step at the I/Q rate: the stick's own DC taken out and the station turned to the
// centre of the band.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace tavimor::fm {

class CentreMixer {
 public:
  // offsetHz: where the station's carrier lies from the centre.
  CentreMixer(double sampleRate, double offsetHz);

  // Replaces `out` with the input, mixed.
  void process(std::span<const std::complex<float>> in, std::vector<std::complex<float>>& out);

 private:
  void takeOutDc(std::vector<std::complex<float>>& samples);
  void turnToCentre(std::vector<std::complex<float>>& samples);

  bool removeDc_;
  float dcSmoothing_;  // per sample
  std::complex<float> dc_;
  bool dcFound_ = false;
  double radiansPerSample_;
  // The oscillator at the start of a stretch of samples, and its turns from there.
  double phase_ = 0.0;
  std::complex<float> oscillator_{1.0F, 0.0F};
  std::vector<std::complex<float>> turns_;
};

}  // namespace tavimor::fm
