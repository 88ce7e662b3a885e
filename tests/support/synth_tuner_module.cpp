// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesized tuner as a SoapySDR module, for the built programs as a user runs them: loaded
// through SOAPY_SDR_PLUGIN_PATH, "driver=tavimor_synth" serves a band of six stations, one without
// RDS, at a stick's pace.
#include "tests/support/synth_tuner.h"

namespace tavimor::testing {
namespace {

SynthBand moduleBand() {
  SynthBand band;
  band.paced = true;
  band.stations = {
      {.offsetHz = 88.6e6, .levelDb = 0.0, .pi = 0xC5A3, .ps = "ORVENTA "},
      {.offsetHz = 91.3e6, .levelDb = -9.0, .pi = 0xC214, .ps = "KESTRAL "},
      {.offsetHz = 94.5e6, .levelDb = -4.0, .pi = 0xD2B4, .ps = "NORDWELL"},
      {.offsetHz = 98.2e6, .levelDb = -14.0, .pi = 0xC7E1, .ps = "LUMASONE"},
      {.offsetHz = 101.7e6, .levelDb = -6.0, .pi = 0xD301, .ps = "HALVERIN"},
      {.offsetHz = 104.9e6, .levelDb = -18.0, .rds = false},
  };
  return band;
}

const bool registered = [] {
  registerSynthTuner(moduleBand());
  return true;
}();

}  // namespace
}  // namespace tavimor::testing
