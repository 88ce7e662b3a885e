// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/band_scan.h"

#include <algorithm>
#include <cmath>

#include "fm/fm_receiver.h"

namespace tavimor::scan {
namespace {

// Each hop covers this share of the capture: its edges, where a tuner's own filter rolls off and
// a channel would not fit, belong to the hops beside it.
constexpr double kUsableShare = 0.85;
constexpr double kGridHz = 100'000.0;
// A dwell lasts at least this, for the carriers to be found, and at most this, for stations
// whose RDS is too weak to complete a name.
constexpr double kShortestDwellSeconds = 0.4;
constexpr double kLongestDwellSeconds = 4.0;
// Stations found again this near one reported are the same.
constexpr double kSameStationHz = 50'000.0;

}  // namespace

HopPlan planHops(double sampleRate, const BandScanSettings& settings) {
  HopPlan plan;
  plan.shareHz = std::max(
      kGridHz,
      std::floor(std::min(sampleRate * kUsableShare, sampleRate - 2.0 * fm::kChannelHz) / kGridHz) *
          kGridHz);
  // Shares side by side from half a grid step below the band to half a step above it.
  const double low = settings.fromHz - kGridHz / 2.0;
  const double high = settings.toHz + kGridHz / 2.0;
  for (double start = low; start < high; start += plan.shareHz)
    plan.centres.push_back(start + plan.shareHz / 2.0);
  return plan;
}

bool dwellEnded(const CaptureScan& capture) {
  const double dwelt = capture.seconds();
  return dwelt >= kLongestDwellSeconds || (dwelt >= kShortestDwellSeconds && capture.allSettled());
}

BandScan::BandScan(Tuner& tuner, const BandScanSettings& settings)
    : tuner_(tuner),
      capture_({.sampleRate = tuner.sampleRate(),
                .centreHz = settings.fromHz,
                .widestOffsetHz = std::nullopt}) {
  HopPlan plan = planHops(tuner.sampleRate(), settings);
  share_ = plan.shareHz;
  centres_ = std::move(plan.centres);
}

double BandScan::deviceSeconds() const {
  return static_cast<double>(samplesRead_) / tuner_.sampleRate();
}

bool BandScan::run(const StationHandler& onStation, const std::atomic<bool>& stop) {
  for (const double centre : centres_) {
    if (stop) return true;
    if (!dwell(centre, onStation, stop)) return false;
  }
  return true;
}

bool BandScan::dwell(double centreHz, const StationHandler& onStation,
                     const std::atomic<bool>& stop) {
  if (!tuner_.tune(centreHz)) return false;
  const double rate = tuner_.sampleRate();
  const auto settling = static_cast<std::uint64_t>(kSettleSeconds * rate);
  for (std::uint64_t skipped = 0; skipped < settling && !stop; skipped += samples_.size()) {
    if (!tuner_.read(samples_)) return false;
    samplesRead_ += samples_.size();
  }
  capture_.retune({.sampleRate = rate, .centreHz = centreHz, .widestOffsetHz = share_ / 2.0});
  capture_.onSettled([&](const StationReport& station) { report(station, centreHz, onStation); });
  const auto ended = [&](bool fine) {
    for (const StationReport& station : capture_.stations())
      report(station, centreHz, onStation);
    capture_.onSettled(nullptr);
    return fine;
  };
  while (!stop && !dwellEnded(capture_)) {
    if (!tuner_.read(samples_)) return ended(false);
    samplesRead_ += samples_.size();
    capture_.process(samples_);
  }
  return ended(true);
}

void BandScan::report(const StationReport& station, double centreHz,
                      const StationHandler& onStation) {
  const double frequency = station.frequencyHz.value_or(centreHz + station.offsetHz);
  const bool known = std::ranges::any_of(
      reported_, [&](double reported) { return std::abs(reported - frequency) < kSameStationHz; });
  if (known) return;
  reported_.push_back(frequency);
  onStation(station);
}

}  // namespace tavimor::scan
