// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/band_survey.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/radio/capture_report.h"

namespace tavimor::radio {
namespace {

// About two thousand bins over the FM band: as many as a window is wide, each the loudest of the
// capture's bins in it so that a carrier stands out however narrow it is drawn.
constexpr double kBinHz = 10'000.0;
constexpr float kUnseen = std::numeric_limits<float>::quiet_NaN();

bool within(const ScanHop& part, double hz) {
  return hz >= part.fromHz && hz < part.toHz;
}

// What a capture tells again of a station replaces what was known; what it has not told yet
// stays, unless the frequency now carries another station.
void refresh(Station& known, const Station& now) {
  if (now.pi && now.pi != known.pi) known = Station{.frequencyHz = known.frequencyHz};
  known.frequencyHz = now.frequencyHz;
  if (now.pi) known.pi = now.pi;
  if (!now.ps.empty()) known.ps = now.ps;
  if (now.pty) known.pty = now.pty;
  if (now.levelDb) known.levelDb = now.levelDb;
  if (now.quality) known.quality = now.quality;
}

}  // namespace

BandSurvey::BandSurvey(double fromHz, double toHz)
    : fromHz_(fromHz),
      powerDb_(static_cast<std::size_t>(std::ceil((toHz - fromHz) / kBinHz)), kUnseen) {}

void BandSurvey::take(const ScanHop& part, const std::vector<Station>& stations, bool complete) {
  std::vector<bool> matched(stations.size(), false);
  std::erase_if(stations_, [&](Station& known) {
    if (!within(part, known.frequencyHz)) return false;
    for (std::size_t i = 0; i < stations.size(); ++i) {
      if (!matched[i] && std::abs(stations[i].frequencyHz - known.frequencyHz) < kSameStationHz) {
        matched[i] = true;
        refresh(known, stations[i]);
        return false;
      }
    }
    return complete;
  });
  for (std::size_t i = 0; i < stations.size(); ++i) {
    if (matched[i]) continue;
    Station found = stations[i];
    found.tuned = false;
    stations_.push_back(found);
  }
  std::ranges::sort(stations_, {}, &Station::frequencyHz);
}

void BandSurvey::paint(const ScanHop& part, const scan::BandPicture& spectrum, double centreHz) {
  // Until the capture's first average after a retune, its picture is of the centre before.
  if (spectrum.levelDbfs.empty() || spectrum.centreHz != centreHz) return;
  const auto binOf = [&](double hz) {
    return static_cast<std::ptrdiff_t>(std::floor((hz - fromHz_) / kBinHz));
  };
  const auto size = static_cast<std::ptrdiff_t>(powerDb_.size());
  const std::ptrdiff_t first = std::clamp<std::ptrdiff_t>(binOf(part.fromHz), 0, size);
  const std::ptrdiff_t last = std::clamp<std::ptrdiff_t>(binOf(part.toHz), 0, size);
  std::fill(powerDb_.begin() + first, powerDb_.begin() + last,
            -std::numeric_limits<float>::infinity());
  for (std::size_t i = 0; i < spectrum.levelDbfs.size(); ++i) {
    const double hz = centreHz + spectrum.firstOffsetHz + static_cast<double>(i) * spectrum.binHz;
    const std::ptrdiff_t bin = binOf(hz);
    if (!within(part, hz) || bin < first || bin >= last) continue;
    float& power = powerDb_[static_cast<std::size_t>(bin)];
    power = std::max(power, spectrum.levelDbfs[i]);
  }
}

std::vector<Station> BandSurvey::stations(std::optional<double> tunedHz) const {
  std::vector<Station> listed = stations_;
  if (tunedHz) {
    const auto nearest = std::ranges::min_element(listed, {}, [&](const Station& station) {
      return std::abs(station.frequencyHz - *tunedHz);
    });
    if (nearest != listed.end() && std::abs(nearest->frequencyHz - *tunedHz) < kSameStationHz)
      nearest->tuned = true;
  }
  return listed;
}

BandPicture BandSurvey::picture(std::optional<ScanHop> scanning) const {
  BandPicture picture;
  picture.spanHz = static_cast<double>(powerDb_.size()) * kBinHz;
  picture.centreHz = fromHz_ + picture.spanHz / 2;
  picture.powerDb = powerDb_;
  picture.scanning = scanning;
  return picture;
}

}  // namespace tavimor::radio
