// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/freq_demodulator.h"

#include <stdexcept>

namespace tavimor::fm {

FreqDemodulator makeFreqDemodulator(double deviationHz, double sampleRate) {
  FreqDemodulator demodulator(freqdem_create(static_cast<float>(deviationHz / sampleRate)));
  if (!demodulator) throw std::runtime_error("liquid-dsp could not make an FM demodulator");
  return demodulator;
}

}  // namespace tavimor::fm
