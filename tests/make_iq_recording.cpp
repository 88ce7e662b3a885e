// SPDX-License-Identifier: GPL-3.0-or-later
// Writes two stations as a stick's raw I/Q recording (unsigned 8-bit, 1024000 samples a
// second, as rtl_sdr records it): the demo station 200 kHz below the centre, and the same
// programme renamed NORDWELL with PI D2B4 200 kHz above it, 6 dB weaker.
//
// Usage: tavimor_make_iq_recording FILE.cu8 [SECONDS]
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/iq_signal.h"
#include "tests/support/mpx_signal.h"
#include "tools/feed/demo_station.h"

namespace {

constexpr double kRate = 1'024'000.0;
constexpr double kOffsetHz = 200'000.0;
constexpr std::uint16_t kOtherPi = 0xD2B4;
constexpr std::string_view kOtherName = "NORDWELL";

std::vector<std::complex<float>> station(const std::vector<tavimor::RdsGroup>& groups,
                                         double offsetHz, float amplitude, std::uint32_t seed) {
  tavimor::testing::MpxSignalOptions options;
  options.sampleRate = kRate;
  options.programme = tavimor::testing::Programme::Stereo;
  options.seed = seed;
  std::vector<std::complex<float>> iq =
      tavimor::testing::modulateFm(tavimor::testing::synthesizeMpx(groups, options).samples, kRate,
                                   {.carrierOffsetHz = offsetHz, .echoes = {}});
  for (auto& sample : iq)
    sample *= amplitude;
  return iq;
}

// The demo station's groups under another PI and name.
tavimor::RdsGroup renamed(tavimor::RdsGroup group) {
  if (group.a == tavimor::feed::demo::kPi) group.a = kOtherPi;
  if (group.c == tavimor::feed::demo::kPi) group.c = kOtherPi;
  if ((group.b >> 12U) == 0) {
    const std::size_t segment = group.b & 0x3U;
    group.d =
        static_cast<std::uint16_t>((static_cast<unsigned char>(kOtherName[2 * segment]) << 8U) |
                                   static_cast<unsigned char>(kOtherName[2 * segment + 1]));
  }
  return group;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: tavimor_make_iq_recording FILE.cu8 [SECONDS]\n");
    return 2;
  }
  const double seconds = argc == 3 ? std::atof(argv[2]) : 10.0;
  const tavimor::feed::DemoStation demo(
      std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()));
  std::vector<tavimor::RdsGroup> below(
      static_cast<std::size_t>(seconds * tavimor::feed::kRdsGroupsPerSecond));
  std::vector<tavimor::RdsGroup> above(below.size());
  for (std::size_t i = 0; i < below.size(); ++i) {
    below[i] = demo.groupAt(i);
    above[i] = renamed(below[i]);
  }
  std::vector<std::complex<float>> iq = station(below, -kOffsetHz, 1.0F, 1);
  const std::vector<std::complex<float>> other = station(above, kOffsetHz, 0.5F, 2);
  iq.resize(std::min(iq.size(), other.size()));
  for (std::size_t i = 0; i < iq.size(); ++i)
    iq[i] += other[i];
  tavimor::testing::addCarrierNoise(iq, 1.0, 40.0, kRate, 3);
  const std::vector<std::uint8_t> bytes = tavimor::testing::toUnsigned8(iq, 0.3);
  std::ofstream file(argv[1], std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) {
    std::fprintf(stderr, "tavimor_make_iq_recording: %s: could not write\n", argv[1]);
    return 1;
  }
  return 0;
}
