// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/split_block.h"

#include <algorithm>
#include <array>

namespace tavimor::fm {
namespace {

// Four running sums, one per lane: a single sum would fix the order of the additions, which
// forbids the compiler to use vector instructions.
using Lanes = std::array<float, kLanes>;

float total(const Lanes& lanes) {
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

}  // namespace

SplitBlock::SplitBlock(std::size_t window)
    : window_(window), re_(window, 0.0F), im_(window, 0.0F) {}

void SplitBlock::load(std::span<const std::complex<float>> block) {
  const std::size_t kept = re_.size() - window_;
  std::copy(re_.begin() + static_cast<std::ptrdiff_t>(kept), re_.end(), re_.begin());
  std::copy(im_.begin() + static_cast<std::ptrdiff_t>(kept), im_.end(), im_.begin());
  re_.resize(window_ + block.size());
  im_.resize(window_ + block.size());
  for (std::size_t n = 0; n < block.size(); ++n) {
    re_[window_ + n] = block[n].real();
    im_[window_ + n] = block[n].imag();
  }
}

float dotProduct(const float* taps, const float* x, std::size_t length) {
  Lanes sum{};
  for (std::size_t i = 0; i < length; i += kLanes)
    for (std::size_t lane = 0; lane < kLanes; ++lane)
      sum[lane] += taps[i + lane] * x[i + lane];
  return total(sum);
}

std::complex<float> filterReal(const float* taps, const float* xr, const float* xi,
                               std::size_t length) {
  Lanes re{};
  Lanes im{};
  for (std::size_t i = 0; i < length; i += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      re[lane] += taps[i + lane] * xr[i + lane];
      im[lane] += taps[i + lane] * xi[i + lane];
    }
  }
  return {total(re), total(im)};
}

std::complex<float> filterComplex(const float* tapsRe, const float* tapsIm, const float* xr,
                                  const float* xi, std::size_t length) {
  Lanes re{};
  Lanes im{};
  for (std::size_t i = 0; i < length; i += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      const std::size_t k = i + lane;
      re[lane] += tapsRe[k] * xr[k] - tapsIm[k] * xi[k];
      im[lane] += tapsRe[k] * xi[k] + tapsIm[k] * xr[k];
    }
  }
  return {total(re), total(im)};
}

}  // namespace tavimor::fm
