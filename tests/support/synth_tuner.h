// SPDX-License-Identifier: GPL-3.0-or-later
// A tuner registered with SoapySDR from inside a test, which serves the synthesized I/Q of a band
// of stations for whatever it is tuned to: so that tuning, rates, gain, reading, retuning, a
// device pulled out mid-read and a busy one all run through SoapySDR's own API.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/band_signal.h"

namespace tavimor::testing {

struct SynthBand {
  // Each at its absolute frequency in offsetHz.
  std::vector<BandStation> stations;
  // The noise's power in 200 kHz below a station of level 0 dB.
  double noiseDb = 40.0;
  // Samples delivered at the rate's own pace, as a stick delivers them, rather than as fast as
  // they are read.
  bool paced = false;
};

// Registers the driver "tavimor_synth" (once) serving this band from now on. Its device arguments:
// "vanish=SECONDS": it stops delivering after that much of its own time, as a stick pulled out;
// "busy=1": it refuses to open, as one another program has; "noaccess=1": it is not listed, and
// the log says why as the RTL-SDR module says it of a stick the user may not open.
void registerSynthTuner(SynthBand band);
// Unplugged, it is found no more, and a device made before delivers nothing.
void plugSynthTuner(bool in);

// What the device made last was told, and how much it delivered.
struct SynthTunerLog {
  std::vector<double> tunings;
  double sampleRate = 0.0;
  std::optional<double> gainDb;  // none while automatic
  double ppm = 0.0;
  std::uint64_t samplesRead = 0;
};
SynthTunerLog synthTunerLog();

}  // namespace tavimor::testing
