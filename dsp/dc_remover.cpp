// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/dc_remover.h"

#include <algorithm>

#include "dsp/kernels.h"

namespace tavimor::dsp {
namespace {

// About a millisecond at a tuner's rates: short against how slowly the DC moves.
constexpr std::size_t kStretch = 2'048;

}  // namespace

DcRemover::DcRemover(double sampleRate, double seconds)
    : stretch_(kStretch), dc_(seconds * sampleRate / kStretch) {}

void DcRemover::process(std::span<std::complex<float>> samples) {
  std::size_t first = 0;
  while (first < samples.size()) {
    const std::size_t count = std::min(kStretch - filled_, samples.size() - first);
    const std::span<std::complex<float>> part = samples.subspan(first, count);
    std::copy(part.begin(), part.end(), stretch_.begin() + static_cast<std::ptrdiff_t>(filled_));
    const std::complex<float> dc = dc_.value();
    for (std::complex<float>& sample : part)
      sample -= dc;
    filled_ += count;
    first += count;
    if (filled_ == kStretch) {
      // Summed whole, in one order, however the stretch arrived.
      dc_.add(sumOf(stretch_) / static_cast<float>(kStretch));
      filled_ = 0;
    }
  }
}

}  // namespace tavimor::dsp
