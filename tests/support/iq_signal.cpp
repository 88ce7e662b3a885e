// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/iq_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace tavimor::testing {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The carrier's phase at every sample: the integral of the instantaneous frequency.
std::vector<double> phaseOf(std::span<const float> multiplex, double sampleRate) {
  std::vector<double> phase(multiplex.size());
  double accumulated = 0.0;
  const double radiansPerSample = kTwoPi * kFullDeviationHz / sampleRate;
  for (std::size_t n = 0; n < multiplex.size(); ++n) {
    accumulated += radiansPerSample * static_cast<double>(multiplex[n]);
    phase[n] = accumulated;
  }
  return phase;
}

// The phase between samples, by the cubic through the four nearest; held before the first.
double phaseAt(const std::vector<double>& phase, double at) {
  if (at <= 1.0) return phase.front();
  const auto whole = static_cast<std::size_t>(at);
  if (whole + 2 >= phase.size()) return phase.back();
  const double mu = at - static_cast<double>(whole);
  const double m1 = -mu * (mu - 1.0) * (mu - 2.0) / 6.0;
  const double m0 = (mu + 1.0) * (mu - 1.0) * (mu - 2.0) / 2.0;
  const double p1 = -(mu + 1.0) * mu * (mu - 2.0) / 2.0;
  const double p2 = (mu + 1.0) * mu * (mu - 1.0) / 6.0;
  return phase[whole - 1] * m1 + phase[whole] * m0 + phase[whole + 1] * p1 + phase[whole + 2] * p2;
}

std::uint8_t unsigned8(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(127.5 + 127.5 * value), 0L, 255L));
}

}  // namespace

std::vector<std::complex<float>> modulateFm(std::span<const float> multiplex, double sampleRate,
                                            const FmChannel& channel) {
  const std::vector<double> phase = phaseOf(multiplex, sampleRate);
  std::vector<std::complex<float>> iq(multiplex.size());
  const double offsetStep = kTwoPi * channel.carrierOffsetHz / sampleRate;
  for (std::size_t n = 0; n < iq.size(); ++n) {
    std::complex<double> received = std::polar(1.0, phase[n]);
    for (const Echo& echo : channel.echoes) {
      const double delayed = static_cast<double>(n) - echo.delaySeconds * sampleRate;
      received += std::polar(echo.amplitude, phaseAt(phase, delayed) + echo.phase);
    }
    const double offset = std::fmod(offsetStep * static_cast<double>(n), kTwoPi);
    iq[n] = std::complex<float>(received * std::polar(1.0, offset));
  }
  return iq;
}

double meanPower(std::span<const std::complex<float>> iq) {
  double sum = 0.0;
  for (const std::complex<float> sample : iq)
    sum += std::norm(std::complex<double>(sample));
  return iq.empty() ? 0.0 : sum / static_cast<double>(iq.size());
}

void addCarrierNoise(std::vector<std::complex<float>>& iq, double carrierPower, double cnrDb,
                     double sampleRate, std::uint32_t seed) {
  const double inBand = carrierPower / std::pow(10.0, cnrDb / 10.0);
  // Each of I and Q carries half the noise's power.
  const double deviation = std::sqrt(inBand * sampleRate / kCnrBandwidthHz / 2.0);
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(0.0F, static_cast<float>(deviation));
  for (std::complex<float>& sample : iq)
    sample += std::complex<float>(noise(random), noise(random));
}

std::vector<std::uint8_t> toUnsigned8(std::span<const std::complex<float>> iq, double rmsLevel) {
  const double power = meanPower(iq);
  const double scale = power > 0.0 ? rmsLevel / std::sqrt(power) : 0.0;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * iq.size());
  for (const std::complex<float> sample : iq) {
    bytes.push_back(unsigned8(scale * sample.real()));
    bytes.push_back(unsigned8(scale * sample.imag()));
  }
  return bytes;
}

std::vector<std::complex<float>> fromUnsigned8(std::span<const std::uint8_t> bytes) {
  std::vector<std::complex<float>> iq(bytes.size() / 2);
  for (std::size_t n = 0; n < iq.size(); ++n) {
    iq[n] = {(static_cast<float>(bytes[2 * n]) - 127.5F) / 127.5F,
             (static_cast<float>(bytes[2 * n + 1]) - 127.5F) / 127.5F};
  }
  return iq;
}

std::vector<float> rtlFmMultiplex(std::span<const std::complex<float>> iq, unsigned decimation) {
  std::vector<float> multiplex;
  multiplex.reserve(iq.size() / decimation);
  std::complex<double> previous{1.0, 0.0};
  for (std::size_t first = 0; first + decimation <= iq.size(); first += decimation) {
    std::complex<double> sum;
    for (std::size_t n = first; n < first + decimation; ++n)
      sum += std::complex<double>(iq[n]);
    multiplex.push_back(
        static_cast<float>(std::arg(sum * std::conj(previous)) / std::numbers::pi / 2.0));
    previous = sum;
  }
  return multiplex;
}

}  // namespace tavimor::testing
