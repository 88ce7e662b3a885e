// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/band_signal.h"

#include <algorithm>
#include <cmath>

#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"

namespace tavimor::testing {

std::vector<RdsGroup> stationGroups(const BandStation& station, std::size_t count) {
  const std::string text = "Scanned at once with every other station of the band.          ";
  const auto ptyBits = static_cast<std::uint16_t>(station.pty << 5U);
  std::vector<RdsGroup> groups;
  for (std::size_t n = 0; groups.size() < count; ++n) {
    const auto segment = static_cast<std::uint16_t>(n % 4);
    const auto chars = [&](std::size_t at) {
      return static_cast<std::uint16_t>((static_cast<unsigned char>(station.ps[at]) << 8U) |
                                        static_cast<unsigned char>(station.ps[at + 1]));
    };
    groups.push_back({station.pi, static_cast<std::uint16_t>(0x0000U | ptyBits | segment), 0xE0CD,
                      chars(std::size_t{2} * segment)});
    if (n % 2 == 1) {
      const auto address = static_cast<std::uint16_t>((n / 2) % 16);
      const auto text2 = [&](std::size_t at) {
        return static_cast<std::uint16_t>((static_cast<unsigned char>(text[at]) << 8U) |
                                          static_cast<unsigned char>(text[at + 1]));
      };
      groups.push_back({station.pi, static_cast<std::uint16_t>(0x2000U | ptyBits | address),
                        text2(std::size_t{4} * address), text2(std::size_t{4} * address + 2)});
    }
  }
  groups.resize(count);
  return groups;
}

std::vector<float> stationMultiplex(const BandStation& station, double sampleRate, double seconds,
                                    std::uint32_t seed) {
  MpxSignalOptions options;
  options.sampleRate = sampleRate;
  options.programme = station.silent ? Programme::Silent : Programme::Stereo;
  options.rdsLevel = station.rds ? 0.04 : 0.0;
  options.rdsClockPpm = station.rdsClockPpm;
  options.seed = seed;
  const auto groups = static_cast<std::size_t>(seconds * 11.4) + 2;
  std::vector<float> multiplex = synthesizeMpx(stationGroups(station, groups), options).samples;
  multiplex.resize(static_cast<std::size_t>(seconds * sampleRate));
  return multiplex;
}

std::vector<std::complex<float>> synthesizeBand(std::span<const BandStation> stations,
                                                double sampleRate, double seconds, double noiseDb,
                                                std::uint32_t seed) {
  std::vector<std::complex<float>> band(static_cast<std::size_t>(seconds * sampleRate));
  std::uint32_t next = seed;
  for (const BandStation& station : stations) {
    const std::vector<float> multiplex = stationMultiplex(station, sampleRate, seconds, ++next);
    const std::vector<std::complex<float>> carrier =
        modulateFm(multiplex, sampleRate, {.carrierOffsetHz = station.offsetHz, .echoes = {}});
    const auto amplitude = static_cast<float>(std::pow(10.0, station.levelDb / 20.0));
    for (std::size_t n = 0; n < band.size(); ++n)
      band[n] += amplitude * carrier[n];
  }
  addCarrierNoise(band, 1.0, noiseDb, sampleRate, seed);
  return band;
}

}  // namespace tavimor::testing
