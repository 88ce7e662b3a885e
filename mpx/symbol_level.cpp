// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/symbol_level.h"

#include <algorithm>
#include <cmath>

namespace tavimor::mpx {
namespace {

// A symbol counts with at most this many times the mean power.
constexpr double kMostPowerRatio = 9.0;
// The median of the recent symbols' power this far off the mean learnt means a jump; noise alone
// strays this far a few times an hour, a weak station's symbols never.
constexpr double kJumpRatio = 10.0;
// After a jump the level is learnt again from this many of the latest symbols.
constexpr std::size_t kLatest = 8;
// Estimates from fewer symbols than this are trusted in proportion.
constexpr double kTrustedSymbols = 32.0;
// A symbol is taken as at most this many times a clean one: a click must not outvote the code.
constexpr double kMostAmplitudes = 2.0;
// Far below what a 16-bit sample's least step leaves in the RDS band.
constexpr double kSilence = 1e-12;
// A silence this long may have let the carrier's phase drift.
constexpr std::uint64_t kSilentSymbols = 8;
// A floor under the noise: a clean signal's symbols are no more certain than this.
constexpr double kLeastNoiseShare = 0.001;

}  // namespace

bool SymbolLevel::observe(std::complex<float> y) {
  // Digital silence (a dropout, a cut between recordings) tells nothing of the station's level.
  const double outputPower = std::norm(std::complex<double>(y));
  if (outputPower < kSilence) {
    ++silentFor_;
    return false;
  }
  // Only a station that was known can come back or change; at the start, there is nothing to find
  // again.
  const bool known = static_cast<double>(learnt_.since()) >= kTrustedSymbols;
  const bool back = known && silentFor_ >= kSilentSymbols;
  silentFor_ = 0;
  recent_[observed_++ % kRecent] = y;
  if (jumped()) {
    learnAgain();
    return known;
  }
  const double most = kMostPowerRatio * power();
  const double limit =
      learnt_.since() >= kLatest && outputPower > most ? std::sqrt(most / outputPower) : 1.0;
  const double inPhase2 = y.real() * limit * y.real() * limit;
  learnt_.power.add(outputPower * limit * limit);
  learnt_.moment2.add(inPhase2);
  learnt_.moment4.add(inPhase2 * inPhase2);
  if (learnt_.since() == kStatusStart) {
    statusMoment2_.restartFrom(learnt_.moment2.value(), kStatusStart);
    statusMoment4_.restartFrom(learnt_.moment4.value(), kStatusStart);
  }
  statusMoment2_.add(inPhase2);
  statusMoment4_.add(inPhase2 * inPhase2);
  return back;
}

bool SymbolLevel::jumped() const {
  if (observed_ < kRecent || learnt_.since() < kRecent) return false;
  std::array<double, kRecent> powers{};
  std::transform(recent_.begin(), recent_.end(), powers.begin(),
                 [](std::complex<float> y) { return std::norm(std::complex<double>(y)); });
  const auto middle = powers.begin() + kRecent / 2;
  std::nth_element(powers.begin(), middle, powers.end());
  const double median = std::max(*middle, kLeastPower);
  return median > kJumpRatio * power() || median < power() / kJumpRatio;
}

// From the latest symbols alone: all of them came after the jump by the time the median moved.
void SymbolLevel::learnAgain() {
  double meanPower = 0.0;
  double moment2 = 0.0;
  double moment4 = 0.0;
  for (std::size_t i = 0; i < kLatest; ++i) {
    const std::complex<double> y(recent_[(observed_ - 1 - i) % kRecent]);
    const double inPhase2 = y.real() * y.real();
    meanPower += std::norm(y) / kLatest;
    moment2 += inPhase2 / kLatest;
    moment4 += inPhase2 * inPhase2 / kLatest;
  }
  learnt_.power.restartFrom(meanPower, kLatest);
  learnt_.moment2.restartFrom(moment2, kLatest);
  learnt_.moment4.restartFrom(moment4, kLatest);
  statusMoment2_.restartFrom(moment2, kLatest);
  statusMoment4_.restartFrom(moment4, kLatest);
}

namespace {

// For two values +-A with Gaussian noise, A^4 = (3 m2^2 - m4) / 2.
double amplitudeOf(double moment2, double moment4) {
  return std::sqrt(std::sqrt(std::max(0.0, (3.0 * moment2 * moment2 - moment4) / 2.0)));
}

double noiseOf(double moment2, double amplitude, double least) {
  return std::max({moment2 - amplitude * amplitude, kLeastNoiseShare * moment2, least});
}

}  // namespace

double SymbolLevel::amplitude() const {
  return amplitudeOf(learnt_.moment2.value(), learnt_.moment4.value());
}

double SymbolLevel::noise() const {
  return noiseOf(learnt_.moment2.value(), amplitude(), kLeastPower);
}

double SymbolLevel::settledSignalToNoise() const {
  if (learnt_.since() < kStatusStart) return amplitude() * amplitude() / noise();
  const double amplitude = amplitudeOf(statusMoment2_.value(), statusMoment4_.value());
  return amplitude * amplitude / noiseOf(statusMoment2_.value(), amplitude, kLeastPower);
}

double SymbolLevel::trust() const {
  return std::min(1.0, static_cast<double>(learnt_.since()) / kTrustedSymbols);
}

double SymbolLevel::logLikelihoodRatio(double inPhase) const {
  const double most = kMostAmplitudes * amplitude();
  return trust() * 2.0 * amplitude() * std::clamp(inPhase, -most, most) / noise();
}

double SymbolLevel::cleanReliability() const {
  return trust() * 2.0 * amplitude() * amplitude() / noise();
}

}  // namespace tavimor::mpx
