// SPDX-License-Identifier: GPL-3.0-or-later
// The carrier-to-noise ratio of an FM channel, read from the noise its discriminator makes between
// 60 and 75 kHz, above the RDS subcarrier, where the multiplex holds nothing. Above the FM
// threshold that noise grows with the square of the frequency and falls with the CNR in a known
// proportion, so it gives the CNR without knowing anything the station sent.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "dsp/liquid.h"
#include "dsp/running_mean.h"

namespace tavimor::fm {

class CnrMeter {
 public:
  // sampleRate: of the channel it is given, which must hold at least +-100 kHz; deviationHz: the
  // station's full deviation, which the discriminator's output is counted in.
  CnrMeter(double sampleRate, double deviationHz);

  // The channel as received: the noise an equalizer leaves is not the channel's.
  void process(std::span<const std::complex<float>> channel);
  // Samples until the measure next moves, from 1.
  std::size_t untilMeasured() const;
  // Carrier power over the noise's in 200 kHz, in dB; infinite until first measured. Clicks below
  // the threshold count as noise; distortion above about 25 dB reads as noise too.
  double cnrDb() const;

 private:
  void measureStretch();

  dsp::FreqDemodulator demodulator_;
  // The band's noise power times the CNR.
  double noiseAtUnitCnr_;
  // A band-pass over 60 to 75 kHz, padded to whole lanes.
  std::vector<float> taps_;
  std::size_t stretch_;
  std::size_t period_;
  std::size_t sinceStretch_ = 0;
  std::vector<std::complex<float>> held_;
  std::vector<float> frequency_;

  // The band's noise power.
  dsp::RunningMean<double> noise_;
};

}  // namespace tavimor::fm
