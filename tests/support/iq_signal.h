// SPDX-License-Identifier: GPL-3.0-or-later
// What an RTL-SDR stick sees of a station: the multiplex signal frequency-modulated onto a carrier,
// with the echoes of other paths, carrier noise and 8-bit samples; and, for comparison, the chain
// by which rtl_fm -M fm turns such samples back into the multiplex. For the tests and benchmark.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace tavimor::testing {

// FM broadcasting's peak deviation, reached by the multiplex at full scale +-1.
inline constexpr double kFullDeviationHz = 75'000.0;
// The bandwidth the carrier-to-noise ratio counts the noise in.
inline constexpr double kCnrBandwidthHz = 200'000.0;

// A second path: the station arriving again, later and weaker, off a building or a hill.
struct Echo {
  double delaySeconds = 0.0;
  // Of the direct path's amplitude.
  double amplitude = 0.0;
  // Radians, at the carrier. It decides at which instantaneous frequencies the two paths cancel:
  // at 8 us and 0.7, a phase of 0 puts the nulls beyond the deviation and pi/2 well inside it, so
  // a measurement should take several phases, not one.
  double phase = 0.0;
};

struct FmChannel {
  // Where the carrier lies from the centre of the I/Q band.
  double carrierOffsetHz = 0.0;
  std::vector<Echo> echoes;
};

// The multiplex, sampled at the I/Q rate, on a carrier of amplitude 1 at 75 kHz deviation, through
// the channel: one complex sample for each multiplex sample.
std::vector<std::complex<float>> modulateFm(std::span<const float> multiplex, double sampleRate,
                                            const FmChannel& channel);

double meanPower(std::span<const std::complex<float>> iq);

// White complex Gaussian noise over the whole band, such that carrierPower over the noise's power
// in 200 kHz is cnrDb.
void addCarrierNoise(std::vector<std::complex<float>>& iq, double carrierPower, double cnrDb,
                     double sampleRate, std::uint32_t seed);

// As rtl_sdr writes them: interleaved unsigned bytes, I first, 127.5 the zero, the signal scaled
// so that its root mean square is rmsLevel of full scale and clipped at the ends.
std::vector<std::uint8_t> toUnsigned8(std::span<const std::complex<float>> iq, double rmsLevel);
// Those bytes back at full scale +-1.
std::vector<std::complex<float>> fromUnsigned8(std::span<const std::uint8_t> bytes);

// rtl_fm -M fm -s RATE at an I/Q rate of `decimation` x RATE: each block of `decimation` samples
// summed, then the angle turned from one sum to the next, pi radians a sample written as half of
// full scale as its 16-bit output has it.
std::vector<float> rtlFmMultiplex(std::span<const std::complex<float>> iq, unsigned decimation);

}  // namespace tavimor::testing
