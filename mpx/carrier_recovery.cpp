// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/carrier_recovery.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/constants.h"

namespace tavimor::mpx {
namespace {

using dsp::kTwoPi;
constexpr double kRadiansPerPpm = kTwoPi * dsp::kSubcarrierHz * 1e-6 / dsp::kSymbolRate;
// The transmitter's and the receiver's clock errors together, and, with a pilot, the RDS
// encoder's own beside the pilot, are within this.
constexpr double kMostErrorPpm = 350.0;
// Narrow loops start this far apart, from one end of the range to the other; each locks within
// about half of it.
constexpr double kHomeSpacingPpm = 50.0;
// Bandwidths as a share of the symbol rate.
constexpr double kNarrowBandwidth = 0.006;
// Clarity is averaged over this many symbols; another loop leads once it is clearer by this much.
constexpr std::uint64_t kClaritySymbolCount = 64;
constexpr auto kClaritySymbols = static_cast<double>(kClaritySymbolCount);
constexpr double kLeadMargin = 1.1;
// One symbol counts for no more than this, and the clarity reported is averaged over about a
// second.
constexpr double kMostClarity = 4.0;
constexpr double kSettledSymbols = 1'000.0;
constexpr double kLeadFloor = 0.02;
// How often loops that are not as clear as the leader are sent back.
constexpr std::uint64_t kHomingSymbols = 256;
constexpr double kHomingShare = 0.8;
// Below this the leader has found nothing either.
constexpr double kLeastClarity = 0.1;
constexpr double kMostError = 1.0;

dsp::TrackingLoop loopOf(double bandwidth, double home) {
  dsp::TrackingLoop loop(
      {.bandwidth = bandwidth, .slope = 2.0, .mostFrequency = kMostErrorPpm * kRadiansPerPpm});
  loop.setFrequency(home);
  return loop;
}

}  // namespace

CarrierRecovery::CarrierRecovery() : settledClarity_(kSettledSymbols) {
  for (double ppm = -kMostErrorPpm; ppm <= kMostErrorPpm; ppm += kHomeSpacingPpm)
    loops_.push_back({loopOf(kNarrowBandwidth, ppm * kRadiansPerPpm), ppm * kRadiansPerPpm,
                      dsp::RunningMean<double>(kClaritySymbols)});
}

std::complex<float> CarrierRecovery::follow(std::complex<float> output, double power) {
  const std::complex<double> y(output);
  const std::complex<float> led =
      output * std::polar(1.0F, static_cast<float>(-loops_[leader_].loop.phase()));
  const double ledClarity = (led.real() * led.real() - led.imag() * led.imag()) / power;
  settledClarity_.add(std::clamp(ledClarity, -kMostClarity, kMostClarity));
  for (Hypothesis& hypothesis : loops_) {
    const std::complex<double> turned = y * std::polar(1.0, -hypothesis.loop.phase());
    const double inPhase = turned.real();
    const double quadrature = turned.imag();
    const double error = 2.0 * inPhase * quadrature / power;
    hypothesis.loop.correct(std::clamp(error, -kMostError, kMostError));
    hypothesis.loop.advance();
    hypothesis.loop.turn(reference_);
    const double phase = hypothesis.loop.phase();
    hypothesis.loop.turn(std::remainder(phase, kTwoPi) - phase);
    const double clarity = (inPhase * inPhase - quadrature * quadrature) / power;
    hypothesis.clarity.add(std::clamp(clarity, -kMostClarity, kMostClarity));
  }
  outputs_[symbols_ % kPhaseSymbols] = output;
  lead();
  if (++symbols_ % kHomingSymbols == 0) sendBehindHome();
  if (findPhaseIn_ > 0 && --findPhaseIn_ == 0) takePhase();
  return led;
}

void CarrierRecovery::setReference(double radiansPerSymbol) {
  for (Hypothesis& hypothesis : loops_)
    hypothesis.loop.setFrequency(hypothesis.loop.frequency() - (radiansPerSymbol - reference_));
  reference_ = radiansPerSymbol;
}

// A new leader takes the old one's sign: two loops may have locked half a turn apart, and the
// symbols must not flip.
void CarrierRecovery::lead() {
  // A loop sent home has to show its clarity over as many symbols as the leader before it counts.
  const double leading = loops_[leader_].clarity.value();
  const std::uint64_t enough = std::min(loops_[leader_].clarity.count(), kClaritySymbolCount);
  std::size_t clearest = leader_;
  for (std::size_t i = 0; i < loops_.size(); ++i) {
    if (loops_[i].clarity.count() >= enough &&
        loops_[i].clarity.value() > loops_[clearest].clarity.value())
      clearest = i;
  }
  if (loops_[clearest].clarity.value() <= kLeadMargin * leading + kLeadFloor) return;
  const double apart =
      std::remainder(loops_[clearest].loop.phase() - loops_[leader_].loop.phase(), kTwoPi);
  if (std::fabs(apart) > std::numbers::pi / 2.0) loops_[clearest].loop.turn(std::numbers::pi);
  leader_ = clearest;
}

// The phase that best explains the latest symbols, two values half a turn apart, each loop turning
// on at its own frequency; of its two, the one nearer where the loop was.
void CarrierRecovery::takePhase() {
  for (Hypothesis& hypothesis : loops_) {
    const double step = hypothesis.loop.frequency() + reference_;
    std::complex<double> sum;
    for (std::size_t age = 0; age < kPhaseSymbols; ++age) {
      const std::complex<double> y(outputs_[(symbols_ - 1 - age) % kPhaseSymbols]);
      // Turned on to where the loop is now, one step past the latest.
      sum += y * y * std::polar(1.0, 2.0 * step * static_cast<double>(age + 1));
    }
    const double found = std::arg(sum) / 2.0;
    const double apart = std::remainder(found - hypothesis.loop.phase(), std::numbers::pi);
    hypothesis.loop.turn(apart);
  }
}

void CarrierRecovery::sendBehindHome() {
  const double leading = loops_[leader_].clarity.value();
  for (std::size_t i = 0; i < loops_.size(); ++i) {
    Hypothesis& hypothesis = loops_[i];
    const bool asClear =
        leading > kLeastClarity && hypothesis.clarity.value() >= kHomingShare * leading;
    if (i == leader_ || asClear) continue;
    hypothesis.loop.setFrequency(hypothesis.home);
    hypothesis.clarity.restartFrom(0.0, 0);
  }
}

}  // namespace tavimor::mpx
