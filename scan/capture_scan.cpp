// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/capture_scan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include "scan/band_spectrum.h"
#include "scan/carrier_finder.h"
#include "scan/channelizer.h"
#include "scan/station_receiver.h"

namespace tavimor::scan {
namespace {

// The spectrum is looked at once its average holds this many frames, about a fifth of a second:
// earlier, noise alone may stand out.
constexpr std::uint64_t kFirstFrames = 4;
// A carrier found this near a station's is that station's.
constexpr double kSameStationHz = 40'000.0;
// A carrier not seen for this long has gone: the station is dropped.
constexpr double kGoneSeconds = 2.0;
// Two stations this near each other cannot both carry one PI: the weaker one's chain hears the
// stronger through its channel's edge.
constexpr double kNeighbourHz = 300'000.0;

double decibels(double power) {
  return 10.0 * std::log10(std::max(power, 1e-30));
}

}  // namespace

struct CaptureScan::Impl {
  explicit Impl(const ScanSettings& chosen)
      : settings(chosen), channelizer(chosen.sampleRate), spectrum(chosen.sampleRate) {}

  double widestOffset() const {
    return std::min(channelizer.widestOffsetHz(),
                    settings.widestOffsetHz.value_or(channelizer.widestOffsetHz()));
  }
  double now() const {
    return static_cast<double>(channelizer.bandSamples() - retunedAt) / settings.sampleRate;
  }

  void process(std::span<const std::complex<float>> band);
  void lookAtSpectrum();
  void track(const Carrier& carrier);
  void disownEchoedPis();
  void publish();

  ScanSettings settings;
  Channelizer channelizer;
  BandSpectrum spectrum;
  std::uint64_t retunedAt = 0;
  std::uint64_t framesSeen = 0;
  std::map<Channelizer::ChannelId, StationReceiver> stations;
  StationHandler onSettled;
  StationHandler onDropped;

  mutable std::mutex published;
  std::vector<StationReport> reports;
  BandPicture picture;
  double seconds = 0.0;
  bool settled = false;
};

void CaptureScan::Impl::process(std::span<const std::complex<float>> band) {
  channelizer.process(band);
  spectrum.process(band, channelizer.dc());
  for (auto& [id, station] : stations) {
    station.process(channelizer.samples(id));
    channelizer.drain(id);
  }
  if (spectrum.frames() != framesSeen) {
    framesSeen = spectrum.frames();
    if (framesSeen >= kFirstFrames) lookAtSpectrum();
  }
  disownEchoedPis();
  for (auto& [id, station] : stations)
    if (station.justSettled() && onSettled) onSettled(station.report());
  publish();
}

void CaptureScan::Impl::lookAtSpectrum() {
  for (const Carrier& carrier : findCarriers(spectrum.power(), spectrum.binHz(), widestOffset()))
    track(carrier);
  for (auto it = stations.begin(); it != stations.end();) {
    if (now() - it->second.lastSeenSeconds() < kGoneSeconds) {
      ++it;
      continue;
    }
    const StationReport gone = it->second.report();
    channelizer.close(it->first);
    it = stations.erase(it);
    if (onDropped) onDropped(gone);
  }
}

void CaptureScan::Impl::track(const Carrier& carrier) {
  StationReceiver* nearest = nullptr;
  double distance = kSameStationHz;
  for (auto& [id, station] : stations) {
    const double apart = std::abs(station.report().offsetHz - carrier.offsetHz);
    if (apart < distance) {
      distance = apart;
      nearest = &station;
    }
  }
  if (nearest != nullptr) {
    nearest->seen(carrier.offsetHz, carrier.levelDbfs, carrier.snrDb, now());
    return;
  }
  StationReport found{.offsetHz = carrier.offsetHz,
                      .frequencyHz = settings.centreHz
                                         ? std::optional(*settings.centreHz + carrier.offsetHz)
                                         : std::nullopt,
                      .levelDbfs = carrier.levelDbfs,
                      .snrDb = carrier.snrDb,
                      .foundSeconds = now()};
  const Channelizer::ChannelId id = channelizer.open(carrier.offsetHz);
  const double start =
      static_cast<double>(channelizer.firstBandSample(id) - retunedAt) / settings.sampleRate -
      channelizer.delay() / settings.sampleRate;
  stations.emplace(id, StationReceiver(channelizer.channelRate(), start, std::move(found)));
}

void CaptureScan::Impl::disownEchoedPis() {
  for (auto& [id, station] : stations) {
    const StationReport& report = station.report();
    if (!report.pi) continue;
    for (const auto& [otherId, other] : stations) {
      const StationReport& stronger = other.report();
      if (otherId != id && stronger.pi == report.pi && stronger.levelDbfs > report.levelDbfs &&
          std::abs(stronger.offsetHz - report.offsetHz) < kNeighbourHz) {
        station.disown(*report.pi);
        break;
      }
    }
  }
}

void CaptureScan::Impl::publish() {
  std::vector<StationReport> now;
  bool all = framesSeen >= kFirstFrames;
  for (const auto& [id, station] : stations) {
    now.push_back(station.report());
    all = all && station.report().settled;
  }
  std::ranges::sort(now, {}, &StationReport::offsetHz);
  const std::lock_guard lock(published);
  reports = std::move(now);
  seconds = this->now();
  settled = all;
  if (spectrum.frames() > 0 && picture.levelDbfs.size() != spectrum.power().size()) {
    picture.levelDbfs.resize(spectrum.power().size());
  }
  if (spectrum.frames() == framesSeen && !spectrum.power().empty()) {
    picture.centreHz = settings.centreHz;
    picture.binHz = spectrum.binHz();
    picture.firstOffsetHz = spectrum.offsetOf(0);
    std::ranges::transform(spectrum.power(), picture.levelDbfs.begin(),
                           [](double power) { return static_cast<float>(decibels(power)); });
    picture.noiseDbfs = decibels(noisePerBin(spectrum.power()));
  }
}

CaptureScan::CaptureScan(const ScanSettings& settings) : impl_(std::make_unique<Impl>(settings)) {}
CaptureScan::~CaptureScan() = default;

void CaptureScan::onSettled(StationHandler handler) {
  impl_->onSettled = std::move(handler);
}

void CaptureScan::onDropped(StationHandler handler) {
  impl_->onDropped = std::move(handler);
}

void CaptureScan::process(std::span<const std::complex<float>> band) {
  impl_->process(band);
}

void CaptureScan::retune(const ScanSettings& settings) {
  Impl& d = *impl_;
  if (settings.sampleRate != d.settings.sampleRate) {
    impl_ = std::make_unique<Impl>(settings);
    impl_->onSettled = std::move(d.onSettled);
    impl_->onDropped = std::move(d.onDropped);
    impl_->publish();
    return;
  }
  for (const auto& [id, station] : d.stations)
    d.channelizer.close(id);
  d.stations.clear();
  d.settings = settings;
  d.spectrum.restart();
  d.framesSeen = 0;
  d.retunedAt = d.channelizer.bandSamples();
  d.publish();
}

std::vector<StationReport> CaptureScan::stations() const {
  const std::lock_guard lock(impl_->published);
  return impl_->reports;
}

BandPicture CaptureScan::picture() const {
  const std::lock_guard lock(impl_->published);
  return impl_->picture;
}

double CaptureScan::seconds() const {
  const std::lock_guard lock(impl_->published);
  return impl_->seconds;
}

bool CaptureScan::allSettled() const {
  const std::lock_guard lock(impl_->published);
  return impl_->settled;
}

}  // namespace tavimor::scan
