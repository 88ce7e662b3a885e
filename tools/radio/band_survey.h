// SPDX-License-Identifier: GPL-3.0-or-later
// The capture's averaged power spectrum, and the FM carriers that stand out of its noise.
#pragma once

#include <complex>
#include <memory>
#include <span>
#include <vector>

#include "tools/radio/receiver.h"

namespace tavimor::radio {

// A carrier found in the spectrum: where its power is centred, and how strong it is.
struct Carrier {
  double offsetHz = 0.0;
  double levelDb = 0.0;
};

class BandSurvey {
 public:
  explicit BandSurvey(double sampleRate);
  ~BandSurvey();
  BandSurvey(const BandSurvey&) = delete;
  BandSurvey& operator=(const BandSurvey&) = delete;

  void take(std::span<const std::complex<float>> iq);
  // The spectrum averaged since the last picture, about 2 kHz a bin, centred on centreHz; empty
  // before any sample came.
  BandPicture picture(double centreHz);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The carriers of a picture: stretches at least 40 kHz wide that stand 10 dB above the noise
// floor, each at its power's centre, in Hz from the picture's centre.
std::vector<Carrier> findCarriers(const BandPicture& picture);

}  // namespace tavimor::radio
