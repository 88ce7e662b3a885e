// SPDX-License-Identifier: GPL-3.0-or-later
// The channels of many stations cut out of one band at once, by a fast-convolution filter bank
// (overlap-save). Each block of the band is transformed once; each station's channel takes the
// bins around its carrier, weighted by the FM receiver's channel filter, and one small inverse
// transform gives its samples already decimated. Against a mixer and a decimating filter per
// station, a station costs a small transform instead of a pass over the whole band (see
// docs/PERFORMANCE.md for the figures).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "dsp/fft.h"
#include "dsp/running_mean.h"

namespace tavimor::scan {

class Channelizer {
 public:
  using ChannelId = std::uint64_t;

  // bandRate within [fm::kMinIqRate, fm::kMaxIqRate]; throws std::invalid_argument otherwise.
  explicit Channelizer(double bandRate);

  double bandRate() const { return bandRate_; }
  // At least fm::kMinChannelRate.
  double channelRate() const { return bandRate_ / decimation_; }
  // How far from the centre a carrier may lie for its channel to fit in the band.
  double widestOffsetHz() const;
  // The channel's sample k stands for the band's sample firstBandSample + k x decimation - delay.
  double delay() const { return delay_; }
  unsigned decimation() const { return decimation_; }

  // A channel for the carrier at offsetHz; its samples start with the next whole block. Throws
  // std::invalid_argument for a channel that does not fit in the band.
  ChannelId open(double offsetHz);
  void close(ChannelId id);
  // The band sample that the channel's first sample ended at.
  std::uint64_t firstBandSample(ChannelId id) const;

  // The band's next samples, full scale +-1. Every block they complete appends to each open
  // channel's samples.
  void process(std::span<const std::complex<float>> band);
  // The channel's samples since it was last drained.
  std::span<const std::complex<float>> samples(ChannelId id) const;
  void drain(ChannelId id);

  // The tuner's DC, as the blocks show it.
  std::complex<float> dc() const { return dc_.value(); }
  std::uint64_t bandSamples() const { return bandSamples_; }

 private:
  struct Channel {
    // The bin the carrier lies nearest to, from 0 to the transform's size.
    std::size_t centreBin;
    bool keepsDc;
    std::uint64_t firstBandSample;
    // (centreBin x block step) mod the transform's size, summed over the blocks: the turn of the
    // carrier at each block's start.
    std::size_t turn = 0;
    std::vector<std::complex<float>> samples;
  };

  void transformBlock();
  void cut(Channel& channel);

  double bandRate_;
  unsigned decimation_;
  double delay_;
  // The transforms' sizes: the band's, and each channel's, decimation_ times smaller.
  std::size_t size_;
  std::size_t channelSize_;
  // Of each block, the samples of the block before it that the filter still needs, and the new.
  std::size_t overlap_;
  std::size_t step_;
  // The channel filter's response in each of a channel's bins, lowest first, scaled for the
  // inverse transform.
  std::vector<std::complex<float>> response_;
  // The block being filled, the overlap first.
  std::vector<std::complex<float>> block_;
  std::size_t filled_;
  dsp::Fft forward_;
  dsp::Fft inverse_;
  std::uint64_t bandSamples_ = 0;
  dsp::RunningMean<std::complex<float>> dc_;
  std::map<ChannelId, Channel> channels_;
  ChannelId nextId_ = 1;
};

}  // namespace tavimor::scan
