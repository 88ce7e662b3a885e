// SPDX-License-Identifier: GPL-3.0-or-later
// A band of several FM stations as a tuner captures it: each with its own name and RDS clock, at
// its own offset and level, over a noise floor. For the tests, the benchmark and the tuner the
// tests register with SoapySDR.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decode/rds_group.h"

namespace tavimor::testing {

struct BandStation {
  double offsetHz = 0.0;
  // Of the carrier's power, in dB of the strongest's.
  double levelDb = 0.0;
  std::uint16_t pi = 0;
  std::string ps = "STATION ";
  std::uint8_t pty = 10;
  // Its RDS encoder's clock against its pilot's.
  double rdsClockPpm = 0.0;
  bool rds = true;
  // A programme gone quiet: the carrier is then a strong line at its frequency.
  bool silent = false;
};

// Groups as a station sends them: its name in four groups 0A, and RadioText in 2A between them.
std::vector<RdsGroup> stationGroups(const BandStation& station, std::size_t count);

// The station's multiplex (stereo programme unless silent, pilot, RDS at 4 % unless it has none),
// sampled at
// sampleRate, `seconds` long.
std::vector<float> stationMultiplex(const BandStation& station, double sampleRate, double seconds,
                                    std::uint32_t seed);

// The stations' carriers added at their offsets, the strongest of amplitude 1, and white noise
// over the band whose power in 200 kHz lies noiseDb below the strongest carrier's.
std::vector<std::complex<float>> synthesizeBand(std::span<const BandStation> stations,
                                                double sampleRate, double seconds, double noiseDb,
                                                std::uint32_t seed);

}  // namespace tavimor::testing
