// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/symbol_level.h"

#include <algorithm>
#include <cmath>

namespace tavimor::mpx {
namespace {

// The averages' length once settled, in symbols.
constexpr double kSettledSymbols = 200.0;
// A symbol counts with at most this many times the mean power.
constexpr double kMostPowerRatio = 9.0;
// The median of the recent symbols' power this far off the mean learnt means a jump; noise alone
// strays this far once in days.
constexpr double kJumpRatio = 10.0;
// After a jump the level is learnt again from this many of the latest symbols: all of them came
// after it by the time the median moved.
constexpr std::size_t kLatest = 16;
// Estimates from fewer symbols than this are trusted in proportion.
constexpr double kTrustedSymbols = 32.0;
// A symbol is taken as at most this many times a clean one: a click must not outvote the code.
constexpr double kMostAmplitudes = 2.0;
// A floor under the noise: a clean signal's symbols are no more certain than this.
constexpr double kLeastNoiseShare = 0.001;

}  // namespace

void SymbolLevel::observe(std::complex<float> y) {
  recent_[observed_++ % kRecent] = y;
  if (jumped()) {
    learnAgain();
    return;
  }
  const double power = std::norm(std::complex<double>(y));
  const double most = kMostPowerRatio * power_;
  const double limit = sinceLearnt_ >= kLatest && power > most ? std::sqrt(most / power) : 1.0;
  const double weight = 1.0 / std::min(kSettledSymbols, static_cast<double>(++sinceLearnt_));
  const double inPhase2 = y.real() * limit * y.real() * limit;
  power_ = std::max(power_ + weight * (power * limit * limit - power_), kLeastPower);
  moment2_ += weight * (inPhase2 - moment2_);
  moment4_ += weight * (inPhase2 * inPhase2 - moment4_);
}

bool SymbolLevel::jumped() const {
  if (observed_ < kRecent || sinceLearnt_ < kRecent) return false;
  std::array<double, kRecent> powers{};
  std::transform(recent_.begin(), recent_.end(), powers.begin(),
                 [](std::complex<float> y) { return std::norm(std::complex<double>(y)); });
  const auto middle = powers.begin() + kRecent / 2;
  std::nth_element(powers.begin(), middle, powers.end());
  return *middle > kJumpRatio * power_ || *middle < power_ / kJumpRatio;
}

void SymbolLevel::learnAgain() {
  power_ = 0.0;
  moment2_ = 0.0;
  moment4_ = 0.0;
  for (std::size_t i = 0; i < kLatest; ++i) {
    const std::complex<double> y(recent_[(observed_ - 1 - i) % kRecent]);
    const double inPhase2 = y.real() * y.real();
    power_ += std::norm(y) / kLatest;
    moment2_ += inPhase2 / kLatest;
    moment4_ += inPhase2 * inPhase2 / kLatest;
  }
  power_ = std::max(power_, kLeastPower);
  sinceLearnt_ = kLatest;
}

// For two values +-A with Gaussian noise, A^4 = (3 m2^2 - m4) / 2.
double SymbolLevel::amplitude() const {
  return std::sqrt(std::sqrt(std::max(0.0, (3.0 * moment2_ * moment2_ - moment4_) / 2.0)));
}

double SymbolLevel::noise() const {
  const double amplitude2 = amplitude() * amplitude();
  return std::max({moment2_ - amplitude2, kLeastNoiseShare * moment2_, kLeastPower});
}

double SymbolLevel::trust() const {
  return std::min(1.0, static_cast<double>(sinceLearnt_) / kTrustedSymbols);
}

double SymbolLevel::logLikelihoodRatio(double inPhase) const {
  const double most = kMostAmplitudes * amplitude();
  return trust() * 2.0 * amplitude() * std::clamp(inPhase, -most, most) / noise();
}

double SymbolLevel::cleanReliability() const {
  return trust() * 2.0 * amplitude() * amplitude() / noise();
}

}  // namespace tavimor::mpx
