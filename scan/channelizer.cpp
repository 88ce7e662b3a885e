// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/channelizer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "dsp/constants.h"
#include "dsp/liquid.h"
#include "fm/centre_mixer.h"
#include "fm/fm_receiver.h"

namespace tavimor::scan {
namespace {

// A channel's transform: 1,024 bins at the channel's rate, 250 Hz apart at 256 kHz. Larger
// transforms waste less of each block on the overlap and cost more per bin; at 2.048 MS/s 512,
// 1,024 and 2,048 bins cost within a tenth of each other.
constexpr std::size_t kChannelBins = 1'024;

double checkedRate(double bandRate) {
  if (!(bandRate >= fm::kMinIqRate && bandRate <= fm::kMaxIqRate))
    throw std::invalid_argument("the I/Q sample rate must be from " +
                                std::to_string(std::lround(fm::kMinIqRate)) + " to " +
                                std::to_string(std::lround(fm::kMaxIqRate)));
  return bandRate;
}

}  // namespace

Channelizer::Channelizer(double bandRate)
    : bandRate_(checkedRate(bandRate)),
      decimation_(fm::channelDecimation(bandRate)),
      size_(decimation_ * kChannelBins),
      channelSize_(kChannelBins),
      forward_(size_, dsp::Fft::Direction::Forward),
      inverse_(kChannelBins, dsp::Fft::Direction::Inverse),
      dc_(fm::kDcSeconds * bandRate / static_cast<double>(size_)) {
  const std::vector<float> taps =
      dsp::lowPassTaps(fm::kChannelHz / bandRate, (channelRate() - fm::kChannelHz) / bandRate,
                       fm::kChannelAttenuationDb);
  delay_ = static_cast<double>(taps.size() - 1) / 2.0;
  // Whole channel samples of overlap, at least the filter's memory.
  overlap_ = (taps.size() - 1 + decimation_ - 1) / decimation_ * decimation_;
  step_ = size_ - overlap_;
  dsp::Fft design(size_, dsp::Fft::Direction::Forward);
  std::copy(taps.begin(), taps.end(), design.input().begin());
  design.run();
  response_.resize(channelSize_);
  for (std::size_t i = 0; i < channelSize_; ++i) {
    const std::size_t bin = (size_ + i - channelSize_ / 2) % size_;
    response_[i] = design.output()[bin] / static_cast<float>(size_);
  }
  filled_ = overlap_;
  block_.assign(size_, {});
}

double Channelizer::widestOffsetHz() const {
  return bandRate_ / 2.0 - fm::kChannelHz;
}

Channelizer::ChannelId Channelizer::open(double offsetHz) {
  if (!(std::abs(offsetHz) <= widestOffsetHz()))
    throw std::invalid_argument("a channel " + std::to_string(std::lround(offsetHz)) +
                                " Hz from the centre does not fit in the band");
  const auto bin = std::lround(offsetHz / bandRate_ * static_cast<double>(size_));
  Channel channel{
      .centreBin =
          static_cast<std::size_t>((bin + static_cast<long>(size_)) % static_cast<long>(size_)),
      .keepsDc = std::abs(offsetHz) < fm::kDcGuardHz,
      .firstBandSample = bandSamples_ - (filled_ - overlap_),
      .samples = {},
  };
  channels_.emplace(nextId_, std::move(channel));
  return nextId_++;
}

void Channelizer::close(ChannelId id) {
  channels_.erase(id);
}

std::uint64_t Channelizer::firstBandSample(ChannelId id) const {
  return channels_.at(id).firstBandSample;
}

void Channelizer::process(std::span<const std::complex<float>> band) {
  while (!band.empty()) {
    const std::size_t count = std::min(size_ - filled_, band.size());
    std::transform(band.begin(), band.begin() + static_cast<std::ptrdiff_t>(count),
                   block_.begin() + static_cast<std::ptrdiff_t>(filled_),
                   [](std::complex<float> sample) { return fm::withinRange(sample); });
    filled_ += count;
    bandSamples_ += count;
    band = band.subspan(count);
    if (filled_ == size_) {
      transformBlock();
      std::copy(block_.end() - static_cast<std::ptrdiff_t>(overlap_), block_.end(), block_.begin());
      filled_ = overlap_;
    }
  }
}

void Channelizer::transformBlock() {
  std::copy(block_.begin(), block_.end(), forward_.input().begin());
  forward_.run();
  // The block's mean: the tuner's DC, with whatever the stations' own means add, which average
  // away.
  dc_.add(forward_.output()[0] / static_cast<float>(size_));
  for (auto& [id, channel] : channels_)
    cut(channel);
}

void Channelizer::cut(Channel& channel) {
  const std::span<const std::complex<float>> band = forward_.output();
  const std::span<std::complex<float>> bins = inverse_.input();
  const std::size_t half = channelSize_ / 2;
  std::size_t bin = (channel.centreBin + size_ - half) % size_;
  for (std::size_t i = 0; i < channelSize_; ++i, bin = bin + 1 == size_ ? 0 : bin + 1) {
    std::complex<float> value = band[bin];
    // Taking a constant off every sample of the block changes only its bin 0.
    if (bin == 0 && !channel.keepsDc) value -= dc() * static_cast<float>(size_);
    // The inverse transform's bins start at 0 Hz.
    bins[i < half ? i + half : i - half] = value * response_[i];
  }
  inverse_.run();
  // The bins taken were turned down by the carrier from the block's start; the carrier's turn
  // at that start keeps the phase going from one block to the next.
  const auto turn =
      std::polar(1.0F, static_cast<float>(-dsp::kTwoPi * static_cast<double>(channel.turn) /
                                          static_cast<double>(size_)));
  const std::span<const std::complex<float>> out = inverse_.output();
  for (std::size_t m = overlap_ / decimation_; m < channelSize_; ++m)
    channel.samples.push_back(out[m] * turn);
  channel.turn = (channel.turn + channel.centreBin * step_) % size_;
}

std::span<const std::complex<float>> Channelizer::samples(ChannelId id) const {
  return channels_.at(id).samples;
}

void Channelizer::drain(ChannelId id) {
  channels_.at(id).samples.clear();
}

}  // namespace tavimor::scan
