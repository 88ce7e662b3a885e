// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/band_spectrum.h"

#include <algorithm>

namespace tavimor::scan {
namespace {

// Bins of at most 2.5 kHz: a station's 200 kHz are 80 of them or more.
constexpr double kWidestBinHz = 2'500.0;
// About 250 transforms a second, whatever the rate: feeding liquid-dsp's periodogram every sample
// of 2.048 MS/s would cost 14 ms a second of band.
constexpr double kTransformsPerSecond = 250.0;
// Each average is taken from a frame of transforms, about 50 ms; the spectrum is the mean of the
// last ten frames: steady enough to tell a carrier 6 dB over the noise, quick enough to follow a
// retune or a carrier gone within half a second.
constexpr unsigned kFrameTransforms = 12;
constexpr std::size_t kAveragedFrames = 10;

std::size_t transformSize(double bandRate) {
  std::size_t size = 256;
  while (bandRate / static_cast<double>(size) > kWidestBinHz)
    size *= 2;
  return size;
}

}  // namespace

BandSpectrum::BandSpectrum(double bandRate)
    : size_(transformSize(bandRate)),
      every_(std::max<std::size_t>(
          1,
          static_cast<std::size_t>(bandRate / static_cast<double>(size_) / kTransformsPerSecond))),
      taken_(size_),
      periodogram_(dsp::makePeriodogram(static_cast<unsigned>(size_))),
      frame_(size_) {
  binHz_ = bandRate / static_cast<double>(size_);
}

double BandSpectrum::offsetOf(std::size_t bin) const {
  const std::size_t centre = size_ / 2;
  return (static_cast<double>(bin) - static_cast<double>(centre)) * binHz_;
}

void BandSpectrum::restart() {
  spgramcf_reset(periodogram_.get());
  transforms_ = 0;
  stretch_ = 0;
  filled_ = 0;
  recent_.clear();
  oldest_ = 0;
  sum_.clear();
  power_.clear();
  frames_ = 0;
}

void BandSpectrum::process(std::span<const std::complex<float>> band, std::complex<float> dc) {
  while (!band.empty()) {
    const std::size_t count = std::min(size_ - filled_, band.size());
    if (stretch_ == 0) {
      std::transform(band.begin(), band.begin() + static_cast<std::ptrdiff_t>(count),
                     taken_.begin() + static_cast<std::ptrdiff_t>(filled_),
                     [dc](std::complex<float> sample) { return sample - dc; });
    }
    filled_ += count;
    band = band.subspan(count);
    if (filled_ < size_) continue;
    filled_ = 0;
    if (stretch_ == 0) {
      spgramcf_write(periodogram_.get(), taken_.data(), static_cast<unsigned>(size_));
      if (++transforms_ == kFrameTransforms) endFrame();
    }
    stretch_ = (stretch_ + 1) % every_;
  }
}

void BandSpectrum::endFrame() {
  spgramcf_get_psd_mag(periodogram_.get(), frame_.data());
  spgramcf_clear(periodogram_.get());
  transforms_ = 0;
  sum_.resize(size_, 0.0);
  if (recent_.size() < kAveragedFrames) {
    recent_.emplace_back(size_, 0.0);
    oldest_ = recent_.size() - 1;
  }
  std::vector<double>& replaced = recent_[oldest_];
  power_.resize(size_);
  for (std::size_t bin = 0; bin < size_; ++bin) {
    const double power = static_cast<double>(frame_[bin]) / static_cast<double>(size_);
    sum_[bin] += power - replaced[bin];
    replaced[bin] = power;
    power_[bin] = std::max(0.0, sum_[bin]) / static_cast<double>(recent_.size());
  }
  oldest_ = (oldest_ + 1) % kAveragedFrames;
  ++frames_;
}

}  // namespace tavimor::scan
