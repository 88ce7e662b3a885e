// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/biphase_demodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "mpx/biphase_pulse.h"

namespace tavimor::mpx {
namespace {

// The matched filter spans this many symbols either side of the pulse's centre.
constexpr double kSpanSymbols = 4.0;
// The pilot's phase turns 16 times per symbol: the bit clock is 19 kHz / 16.
constexpr double kPilotTurnsPerSymbol = 16.0;
constexpr double kSubcarrierTurnsPerSymbol = 3.0 * kPilotTurnsPerSymbol;
constexpr double kPowerSymbols = 200.0;
constexpr std::uint64_t kHalfwayCheckSymbols = 32;
constexpr double kHalfwayMargin = 1.3;
// Without a pilot the loops follow a transmitter's clock up to this far off, and no further
// however long they are left to noise.
constexpr double kMostClockError = 300e-6;
// A floor under the noise estimate: a clean signal's symbols are no more certain than this.
constexpr double kLeastNoise = 0.01;

std::vector<float> matchedTaps(double samplesPerSymbol) {
  const auto half = static_cast<std::size_t>(std::lround(kSpanSymbols * samplesPerSymbol));
  std::vector<float> taps(2 * half + 1);
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const double offset = (static_cast<double>(i) - static_cast<double>(half)) / samplesPerSymbol;
    const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * offset / kSpanSymbols);
    // Reversed in time around the pulse's centre, a quarter symbol in.
    taps[i] = static_cast<float>(window * biphasePulse(0.25 - offset, 1.0));
  }
  return taps;
}

// Gains of a second-order loop of bandwidth bandwidth x symbol time, for a detector of the given
// slope, damped at 0.707.
struct LoopGains {
  double phase;
  double frequency;
};
LoopGains loopGains(double bandwidth, double slope) {
  constexpr double kDamping = 0.707;
  const double theta = bandwidth / (kDamping + 1.0 / (4.0 * kDamping));
  const double d = 1.0 + 2.0 * kDamping * theta + theta * theta;
  return {4.0 * kDamping * theta / (d * slope), 4.0 * theta * theta / (d * slope)};
}

// With a pilot the offsets are fixed and only learnt; without, the loops also follow frequency.
const LoopGains kCarrierWithPilot = loopGains(0.004, 2.0);
const LoopGains kCarrierAlone = loopGains(0.01, 2.0);
const LoopGains kClockWithPilot = loopGains(0.004, 4.0);
const LoopGains kClockAlone = loopGains(0.005, 4.0);

std::complex<float> cubic(const std::array<std::complex<float>, 4>& y, float mu) {
  // Lagrange through the samples at -1, 0, 1 and 2.
  const float m1 = -mu * (mu - 1.0F) * (mu - 2.0F) / 6.0F;
  const float m0 = (mu + 1.0F) * (mu - 1.0F) * (mu - 2.0F) / 2.0F;
  const float p1 = -(mu + 1.0F) * mu * (mu - 2.0F) / 2.0F;
  const float p2 = (mu + 1.0F) * mu * (mu - 1.0F) / 6.0F;
  return y[0] * m1 + y[1] * m0 + y[2] * p1 + y[3] * p2;
}

}  // namespace

BiphaseDemodulator::BiphaseDemodulator(double rate)
    : samplesPerSymbol_(rate / kSymbolRate), spread_(samplesPerSymbol_ / 4.0) {
  std::vector<float> taps = matchedTaps(samplesPerSymbol_);
  delay_ = static_cast<double>(taps.size() - 1) / 2.0;
  matched_ = makeFilter(std::move(taps));
}

void BiphaseDemodulator::push(std::complex<float> rds, bool pilotPresent, double pilotPhase,
                              std::vector<ChannelSymbol>& out) {
  if (pilotPresent != pilot_) {
    pilot_ = pilotPresent;
    lastPilotPhase_ = pilotPhase;
  }
  const double pilotTurn = pilot_ ? pilotPhase - lastPilotPhase_ : 0.0;
  lastPilotPhase_ = pilotPhase;
  carrier_ += pilot_ ? 3.0 * pilotTurn : carrierFrequency_;
  if (std::fabs(carrier_) > std::numbers::pi)
    carrier_ -= std::copysign(2.0 * std::numbers::pi, carrier_);
  clock_ +=
      1.0 / samplesPerSymbol_ +
      (pilot_ ? pilotTurn / (2.0 * std::numbers::pi * kPilotTurnsPerSymbol) : clockFrequency_);

  const auto now = static_cast<double>(count_);
  if (clock_ >= nextSymbol_) {
    pending_.push_back(now - (clock_ - nextSymbol_) * samplesPerSymbol_);
    nextSymbol_ += 1.0;
  }

  const std::complex<float> turned = rds * std::polar(1.0F, static_cast<float>(-carrier_));
  std::complex<float> filtered;
  firfilt_crcf_push(matched_.get(), turned);
  firfilt_crcf_execute(matched_.get(), &filtered);
  filtered_[count_ % kRing] = filtered;
  ++count_;

  while (!pending_.empty() && pending_.front() + delay_ + samplesPerSymbol_ / 2.0 + 2.0 < now) {
    decide(pending_.front() + delay_, out);
    pending_.pop_front();
  }
}

std::complex<float> BiphaseDemodulator::filteredAt(double at) const {
  const double whole = std::floor(at);
  const auto first = static_cast<std::uint64_t>(whole) - 1;
  std::array<std::complex<float>, 4> y{};
  for (std::size_t i = 0; i < y.size(); ++i)
    y[i] = filtered_[(first + i) % kRing];
  return cubic(y, static_cast<float>(at - whole));
}

void BiphaseDemodulator::decide(double centre, std::vector<ChannelSymbol>& out) {
  if (centre < spread_ + 1.0) return;
  const std::complex<float> y = filteredAt(centre);
  const std::complex<float> early = filteredAt(centre - spread_);
  const std::complex<float> late = filteredAt(centre + spread_);
  const double power = std::norm(y);
  const double weight = 1.0 / std::min(kPowerSymbols, static_cast<double>(++symbols_));
  power_ += weight * (power - power_);
  if (!(power_ > 0.0)) return;
  // Half a symbol off the matched filter's output also peaks, at half the energy: if that is
  // where the loop settled, the symbols' energy is found half a symbol on.
  halfwayPower_ +=
      weight * (std::norm(filteredAt(centre + samplesPerSymbol_ / 2.0)) - halfwayPower_);
  if (symbols_ >= kHalfwayCheckSymbols && halfwayPower_ > kHalfwayMargin * power_) {
    clock_ -= 0.5;
    std::swap(power_, halfwayPower_);
  }

  // The energy grows towards the later sample when the centre is still ahead.
  const double timing = std::real(std::conj(y) * (late - early)) / power_;
  const LoopGains& clock = pilot_ ? kClockWithPilot : kClockAlone;
  clock_ -= clock.phase * timing;
  if (!pilot_) {
    clockFrequency_ =
        std::clamp(clockFrequency_ - clock.frequency * timing / samplesPerSymbol_,
                   -kMostClockError / samplesPerSymbol_, kMostClockError / samplesPerSymbol_);
  }

  const double phase = std::imag(std::complex<double>(y) * std::complex<double>(y)) / power_;
  const LoopGains& carrier = pilot_ ? kCarrierWithPilot : kCarrierAlone;
  carrier_ += carrier.phase * phase;
  if (!pilot_) {
    const double most =
        kMostClockError * 2.0 * std::numbers::pi * kSubcarrierTurnsPerSymbol / samplesPerSymbol_;
    carrierFrequency_ =
        std::clamp(carrierFrequency_ + carrier.frequency * phase / samplesPerSymbol_, -most, most);
  }

  const double value = y.real() / std::sqrt(power_);
  moment2_ += weight * (value * value - moment2_);
  moment4_ += weight * (value * value * value * value - moment4_);
  // For two values A and -A plus Gaussian noise, A^4 = (3 m2^2 - m4) / 2.
  const double signal =
      std::sqrt(std::sqrt(std::max(0.0, (3.0 * moment2_ * moment2_ - moment4_) / 2.0)));
  const double noise = std::max(moment2_ - signal * signal, kLeastNoise * moment2_);
  const double scale = 2.0 * signal / noise;
  out.push_back(
      {static_cast<float>(scale * value), static_cast<float>(scale * signal), centre - delay_});
}

}  // namespace tavimor::mpx
