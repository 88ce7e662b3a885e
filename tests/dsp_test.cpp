// SPDX-License-Identifier: GPL-3.0-or-later
// Each object of the receiver's signal processing against a known answer: the kernels against
// liquid-dsp's dot products, the oscillator, the running mean, the tracking loop, the filter
// designs, the DC remover, the normaliser and the discriminator against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <span>
#include <vector>

#include "dsp/constants.h"
#include "dsp/dc_remover.h"
#include "dsp/kernels.h"
#include "dsp/liquid.h"
#include "dsp/oscillator.h"
#include "dsp/power_normaliser.h"
#include "dsp/running_mean.h"
#include "dsp/tracking_loop.h"
#include "tests/support/row_name.h"

namespace tavimor::dsp {
namespace {

using Complex = std::complex<float>;

std::vector<float> randomValues(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> value(-1.0F, 1.0F);
  std::vector<float> values(count);
  for (float& x : values)
    x = value(generator);
  return values;
}

std::vector<Complex> complexOf(const std::vector<float>& re, const std::vector<float>& im) {
  std::vector<Complex> values(re.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = {re[i], im[i]};
  return values;
}

// The filter's gain at a frequency relative to the sample rate.
double gainAt(const std::vector<float>& taps, double frequency) {
  std::complex<double> sum;
  for (std::size_t k = 0; k < taps.size(); ++k)
    sum += static_cast<double>(taps[k]) *
           std::polar(1.0, -kTwoPi * frequency * static_cast<double>(k));
  return std::abs(sum);
}

TEST(Kernels, SumAsLiquidDspsDotProductsDo) {
  for (const std::size_t length : {4U, 32U, 68U}) {
    const std::vector<float> taps = randomValues(length, 1);
    const std::vector<float> tapsIm = randomValues(length, 2);
    const std::vector<float> xr = randomValues(length, 3);
    const std::vector<float> xi = randomValues(length, 4);
    std::vector<float> tapsCopy = taps;
    std::vector<Complex> x = complexOf(xr, xi);
    std::vector<Complex> complexTaps = complexOf(taps, tapsIm);
    float real = 0.0F;
    Complex byReal;
    Complex byComplex;
    dotprod_rrrf_run(tapsCopy.data(), std::vector<float>(xr).data(), length, &real);
    dotprod_crcf_run(tapsCopy.data(), x.data(), length, &byReal);
    dotprod_cccf_run(complexTaps.data(), x.data(), length, &byComplex);
    EXPECT_NEAR(dotProduct(taps.data(), xr.data(), length), real, 1e-5) << length;
    const Complex ours = filterReal(taps.data(), xr.data(), xi.data(), length);
    EXPECT_NEAR(std::abs(ours - byReal), 0.0F, 1e-5) << length;
    const Complex oursComplex =
        filterComplex(taps.data(), tapsIm.data(), xr.data(), xi.data(), length);
    EXPECT_NEAR(std::abs(oursComplex - byComplex), 0.0F, 1e-5) << length;

    std::vector<float> wr = taps;
    std::vector<float> wi = tapsIm;
    const Complex e(0.25F, -0.5F);
    addConjugateProduct(wr.data(), wi.data(), xr.data(), xi.data(), length, e);
    for (std::size_t k = 0; k < length; ++k) {
      const Complex expected = complexTaps[k] + e * std::conj(x[k]);
      EXPECT_NEAR(std::abs(Complex(wr[k], wi[k]) - expected), 0.0F, 1e-6) << length << ", " << k;
    }
  }
  for (const std::size_t count : {0U, 1U, 7U, 8U, 1001U}) {
    const std::vector<Complex> x = complexOf(randomValues(count, 5), randomValues(count, 6));
    std::complex<double> expected;
    for (const Complex value : x)
      expected += std::complex<double>(value);
    EXPECT_NEAR(std::abs(std::complex<double>(sumOf(x)) - expected), 0.0, 1e-4) << count;
  }
}

struct ToneCase {
  const char* name;
  double frequencyHz;
  double sampleRate;
};

class Tone : public ::testing::TestWithParam<ToneCase> {};

// Read on in blocks of odd sizes, each harmonic is e^(-j h 2 pi f n / rate) at every sample n, and
// mixing the tone down leaves a constant.
TEST_P(Tone, KeepsItsPhaseAcrossReadsOfAnySize) {
  const ToneCase& row = GetParam();
  Oscillator oscillator(row.frequencyHz, row.sampleRate, 100, 3);
  Oscillator mixer(row.frequencyHz, row.sampleRate, 100);
  EXPECT_NEAR(oscillator.frequencyHz(), row.frequencyHz, 1e-3);
  const double step = kTwoPi * oscillator.frequencyHz() / row.sampleRate;
  std::size_t n = 0;
  for (const std::size_t read : {1U, 99U, 100U, 37U, 64U, 7U, 100U}) {
    std::vector<Complex> tone(read);
    for (std::size_t k = 0; k < read; ++k)
      tone[k] = std::polar(
          1.0F, static_cast<float>(std::remainder(step * static_cast<double>(n + k), kTwoPi)));
    for (const unsigned h : {1U, 3U}) {
      for (std::size_t k = 0; k < read; ++k) {
        const double phase = static_cast<double>(h) * step * static_cast<double>(n + k);
        EXPECT_NEAR(oscillator.cos(h)[k], std::cos(phase), 1e-4) << "sample " << n + k;
        EXPECT_NEAR(oscillator.minusSin(h)[k], -std::sin(phase), 1e-4) << "sample " << n + k;
      }
    }
    mixer.mixDown(tone);
    for (std::size_t k = 0; k < read; ++k)
      EXPECT_NEAR(std::abs(tone[k] - Complex(1.0F, 0.0F)), 0.0F, 1e-3) << "sample " << n + k;
    oscillator.advance(read);
    n += read;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Oscillator, Tone,
    ::testing::Values(ToneCase{"PilotAt171kHz", kPilotHz, 171'000.0},
                      ToneCase{"StationBelowTheCentre", -123'456.7, 1'024'000.0},
                      ToneCase{"NoWholeCycleInAShortTable", 1'000.1, 2'400'000.0}),
    testing::kRowName);

TEST(RunningMean, IsThePlainMeanUntilSettledThenExponential) {
  RunningMean<double> mean(4.0);
  double expected = 0.0;
  for (int i = 1; i <= 10; ++i) {
    mean.add(i);
    expected = i <= 4 ? (i + 1) / 2.0 : expected + (i - expected) / 4.0;
    EXPECT_DOUBLE_EQ(mean.value(), expected) << "after " << i;
  }
  mean.restart();
  mean.add(-3.0);
  EXPECT_DOUBLE_EQ(mean.value(), -3.0);
  RunningMean<Complex> complexMean(2.0);
  complexMean.add({1.0F, 2.0F});
  complexMean.add({3.0F, 0.0F});
  EXPECT_EQ(complexMean.value(), Complex(2.0F, 1.0F));
}

// A phase that turns at a steady rate: the loop takes up its frequency, unless that lies beyond the
// most it may have.
TEST(TrackingLoop, TakesUpAFrequencyWithinItsRange) {
  constexpr double kTurn = 0.01;
  for (const double most : {0.02, 0.005}) {
    TrackingLoop loop({.bandwidth = 0.01, .slope = 1.0, .mostFrequency = most});
    double phase = 0.0;
    for (int i = 0; i < 20'000; ++i) {
      phase += kTurn;
      loop.correct(std::remainder(phase - loop.phase(), kTwoPi));
      loop.advance();
    }
    EXPECT_NEAR(loop.frequency(), std::min(kTurn, most), 1e-9) << most;
    if (most > kTurn) {
      EXPECT_NEAR(std::remainder(phase + kTurn - loop.phase(), kTwoPi), 0.0, 1e-6);
    }
  }
}

TEST(FilterDesigns, PassAndStopWhereAsked) {
  const std::vector<float> lowPass = lowPassTaps(0.1, 0.15, 50.0);
  EXPECT_EQ(lowPass.size() % 2, 1U);
  EXPECT_NEAR(gainAt(lowPass, 0.0), 1.0, 1e-5);
  EXPECT_NEAR(gainAt(lowPass, 0.09), 1.0, 0.01);
  for (const double stop : {0.15, 0.2, 0.45})
    EXPECT_LT(20.0 * std::log10(gainAt(lowPass, stop)), -48.0) << stop;
  const std::vector<float> bandPass = bandPassTaps(0.2, 0.3, 0.02, 40.0);
  EXPECT_NEAR(gainAt(bandPass, 0.25), 1.0, 0.01);
  for (const double stop : {0.0, 0.17, 0.33})
    EXPECT_LT(20.0 * std::log10(gainAt(bandPass, stop)), -38.0) << stop;
}

// A tone beside a constant: the constant is gone once followed, the tone untouched.
TEST(DcRemover, TakesOutTheConstantAlone) {
  constexpr double kRate = 100'000.0;
  const Complex dc(0.3F, -0.2F);
  DcRemover remover(kRate, 0.01);
  std::vector<Complex> samples(static_cast<std::size_t>(kRate / 2));
  for (std::size_t n = 0; n < samples.size(); ++n)
    samples[n] = dc + std::polar(0.5F, static_cast<float>(kTwoPi * 0.125 * static_cast<double>(n)));
  const std::vector<Complex> sent = samples;
  remover.process(samples);
  EXPECT_NEAR(std::abs(remover.dc() - dc), 0.0F, 1e-4);
  for (std::size_t n = samples.size() - 100; n < samples.size(); ++n)
    EXPECT_NEAR(std::abs(samples[n] - (sent[n] - dc)), 0.0F, 1e-4) << n;
}

TEST(PowerNormaliser, BringsAnyLevelToUnitPowerInWholeStretches) {
  PowerNormaliser normaliser(256'000.0, 0.01);
  std::vector<Complex> out;
  const std::vector<Complex> weak(100, Complex(0.06F, -0.08F));
  for (int write = 0; write < 100; ++write)
    normaliser.process(weak, out);
  constexpr std::size_t kGiven = std::size_t{100} * 100;
  EXPECT_EQ(out.size(), kGiven / PowerNormaliser::kStretch * PowerNormaliser::kStretch);
  EXPECT_NEAR(std::norm(out.back()), 1.0F, 1e-4);
  EXPECT_NEAR(normaliser.power(), 0.01, 1e-6);
}

TEST(FreqDemodulator, GivesTheFrequencyInUnitsOfTheDeviation) {
  constexpr double kRate = 256'000.0;
  constexpr double kFrequency = 10'000.0;
  FreqDemodulator demodulator = makeFreqDemodulator(kFullDeviationHz, kRate);
  std::vector<Complex> carrier(64);
  for (std::size_t n = 0; n < carrier.size(); ++n)
    carrier[n] =
        std::polar(1.0F, static_cast<float>(kTwoPi * kFrequency / kRate * static_cast<double>(n)));
  std::vector<float> frequency(carrier.size());
  freqdem_demodulate_block(demodulator.get(), carrier.data(), static_cast<unsigned>(carrier.size()),
                           frequency.data());
  EXPECT_NEAR(frequency.back(), kFrequency / kFullDeviationHz, 1e-4);
}

}  // namespace
}  // namespace tavimor::dsp
