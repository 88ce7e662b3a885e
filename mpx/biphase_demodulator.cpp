// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/biphase_demodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/constants.h"
#include "mpx/biphase_pulse.h"

namespace tavimor::mpx {
namespace {

using dsp::kSubcarrierHz;
using dsp::kSymbolRate;
using dsp::kTwoPi;

// The matched filter spans this many symbols either side of the pulse's centre.
constexpr double kSpanSymbols = 4.0;
// The pilot's phase turns 16 times per symbol: the bit clock is 19 kHz / 16.
constexpr double kPilotTurnsPerSymbol = 16.0;
// How far the RDS encoder's bit clock may be off the pilot's, or, without a pilot, off the
// receiver's (the transmitter's and the receiver's errors added).
constexpr double kMostErrorBesidePilot = 200e-6;
constexpr double kMostErrorAlone = 350e-6;
// A share of the symbol rate.
constexpr double kClockBandwidth = 0.001;
// Another offset of the clock must carry this much more power than its centre, for this many
// symbols in a row, before the clock moves there: half a symbol off, the matched filter's output
// also peaks, at about half the power.
constexpr double kLeadingMargin = 1.3;
constexpr unsigned kLeadingSymbols = 16;
constexpr double kOffsetSymbols = 32.0;
// Detectors' errors are clamped to this: one click moves a loop no more than a clean symbol does.
constexpr double kMostError = 1.0;

std::vector<float> matchedTaps(double samplesPerSymbol) {
  const auto half = static_cast<std::size_t>(std::lround(kSpanSymbols * samplesPerSymbol));
  std::vector<float> taps(2 * half + 1);
  double energy = 0.0;
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const double offset = (static_cast<double>(i) - static_cast<double>(half)) / samplesPerSymbol;
    const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * offset / kSpanSymbols);
    // Reversed in time around the pulse's centre, a quarter symbol in.
    const double tap = window * biphasePulse(0.25 - offset, 1.0);
    taps[i] = static_cast<float>(tap);
    energy += tap * biphasePulse(0.25 - offset, 1.0);
  }
  // A lone pulse of amplitude 1 gives 1 at its centre, whatever the rate.
  for (float& tap : taps)
    tap = static_cast<float>(tap / energy);
  return taps;
}

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
    : samplesPerSymbol_(rate / kSymbolRate),
      spread_(samplesPerSymbol_ / 4.0),
      clock_({.bandwidth = kClockBandwidth, .slope = 4.0, .mostFrequency = kMostErrorAlone}),
      offsetPower_(kOffsets, dsp::RunningMean<double>(kOffsetSymbols)) {
  std::vector<float> taps = matchedTaps(samplesPerSymbol_);
  delay_ = static_cast<double>(taps.size() - 1) / 2.0;
  matched_ = dsp::makeFilter(std::move(taps));
}

void BiphaseDemodulator::push(std::complex<float> rds, const PilotTracker& pilot,
                              std::vector<ChannelSymbol>& out) {
  followPilot(pilot);
  const auto now = static_cast<double>(count_);
  while (clock_.phase() >= nextSymbol_) {
    pending_.push_back(now - (clock_.phase() - nextSymbol_) * samplesPerSymbol_);
    nextSymbol_ += 1.0;
  }

  std::complex<float> filtered;
  firfilt_crcf_push(matched_.get(), rds);
  firfilt_crcf_execute(matched_.get(), &filtered);
  filtered_[count_ % kRing] = filtered;
  ++count_;

  while (!pending_.empty() && pending_.front() + delay_ + samplesPerSymbol_ / 2.0 + 2.0 < now) {
    decide(pending_.front() + delay_, out);
    pending_.pop_front();
  }
}

// With a pilot, the bit clock turns with its phase and the carrier with its frequency; the
// frequency the loops had found on their own until then passes to it, and back when it goes. The
// pilot's phase is not the carrier's: its jitter, three times over, would cost more than it gives,
// and multipath bends the relation between the two.
void BiphaseDemodulator::followPilot(const PilotTracker& pilot) {
  if (pilot.present() != pilot_) {
    pilot_ = pilot.present();
    lastPilotPhase_ = pilot.phase();
    const double handedOver = pilot_ ? -pilot.frequencyError() : pilot.frequencyError();
    clock_.setFrequency(clock_.frequency() + handedOver);
    clock_.setMostFrequency(pilot_ ? kMostErrorBesidePilot : kMostErrorAlone);
  }
  pilotFrequencyError_ = pilot_ ? pilot.frequencyError() : 0.0;
  const double pilotTurn = pilot_ ? pilot.phase() - lastPilotPhase_ : 0.0;
  lastPilotPhase_ = pilot.phase();
  clock_.turn(1.0 / samplesPerSymbol_ + pilotTurn / (kTwoPi * kPilotTurnsPerSymbol));
  clock_.advance(1.0 / samplesPerSymbol_);
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
  const double reach = -kEarliestOffset * samplesPerSymbol_ / 8.0 + 1.0;
  if (centre < reach + 1.0) return;
  const std::complex<float> raw = filteredAt(centre);
  carrier_.setReference(kTwoPi * kSubcarrierHz * pilotFrequencyError_ / kSymbolRate);
  const std::complex<float> y = carrier_.follow(raw, level_.power());
  if (level_.observe(y)) carrier_.findPhaseAgain();
  alignClock(centre);
  trackClock(raw, centre);
  out.push_back({static_cast<float>(level_.logLikelihoodRatio(y.real())),
                 static_cast<float>(level_.cleanReliability()), centre - delay_});
}

// The early-late loop settles on the nearest peak of the symbols' power; this finds the highest
// one, over the offsets of a whole symbol, and moves the clock there once it has clearly led.
void BiphaseDemodulator::alignClock(double centre) {
  for (std::size_t i = 0; i < kOffsets; ++i) {
    const double at = centre + (kEarliestOffset + static_cast<int>(i)) * samplesPerSymbol_ / 8.0;
    const double power = std::min(std::norm(filteredAt(at)) / level_.power(), 16.0);
    offsetPower_[i].add(power);
  }
  const auto centreIndex = static_cast<std::size_t>(-kEarliestOffset);
  std::size_t leading = centreIndex;
  for (std::size_t i = 0; i < kOffsets; ++i) {
    const bool far = i + 1 < centreIndex || i > centreIndex + 1;
    const double here = offsetPower_[i].value();
    if (far && here > kLeadingMargin * offsetPower_[centreIndex].value() &&
        here > offsetPower_[leading].value())
      leading = i;
  }
  ledFor_ = leading != centreIndex && leading == leadingOffset_ ? ledFor_ + 1 : 0;
  leadingOffset_ = leading;
  if (ledFor_ < kLeadingSymbols) return;
  clock_.turn(-static_cast<double>(kEarliestOffset + static_cast<int>(leading)) / 8.0);
  for (dsp::RunningMean<double>& power : offsetPower_)
    power.restart();
  ledFor_ = 0;
}

// raw: the symbol's output with the carrier's phase still in it, as in the early and late ones,
// so that it cancels in their product.
void BiphaseDemodulator::trackClock(std::complex<float> raw, double centre) {
  const std::complex<float> early = filteredAt(centre - spread_);
  const std::complex<float> late = filteredAt(centre + spread_);
  // The power grows towards the later sample when the centre is still ahead.
  const double timing = std::real(std::conj(raw) * (late - early)) / level_.power();
  clock_.correct(-std::clamp(timing, -kMostError, kMostError));
}

}  // namespace tavimor::mpx
