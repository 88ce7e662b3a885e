// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/channel_filter.h"

#include <algorithm>

#include "dsp/liquid.h"

namespace tavimor::fm {

ChannelFilter::ChannelFilter(double inputRate, unsigned decimation, double passbandHz,
                             double stopbandHz, double attenuationDb)
    : decimation_(decimation),
      taps_(dsp::lowPassTaps(passbandHz / inputRate, stopbandHz / inputRate, attenuationDb)),
      delay_(static_cast<double>(taps_.size() - 1) / 2.0),
      block_(dsp::paddedLength(taps_.size())) {
  std::reverse(taps_.begin(), taps_.end());
  taps_.insert(taps_.begin(), block_.window() - taps_.size(), 0.0F);
}

void ChannelFilter::process(std::span<const std::complex<float>> input,
                            std::vector<std::complex<float>>& output) {
  block_.load(input);
  // An output when the last of each `decimation` inputs arrives.
  for (std::size_t n = decimation_ - 1 - sinceOutput_; n < input.size(); n += decimation_)
    output.push_back(dsp::filterReal(taps_.data(), block_.re(n), block_.im(n), block_.window()));
  sinceOutput_ = static_cast<unsigned>((sinceOutput_ + input.size()) % decimation_);
}

}  // namespace tavimor::fm
