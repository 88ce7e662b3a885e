// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/kernels.h"

#include <algorithm>
#include <array>

namespace tavimor::dsp {
namespace {

// One running sum per lane: a single sum would fix the order of the additions, which forbids the
// compiler to use vector instructions.
using Lanes = std::array<float, kLanes>;

float total(const Lanes& lanes) {
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

}  // namespace

SplitComplexBuffer::SplitComplexBuffer(std::size_t window)
    : window_(window), re_(window, 0.0F), im_(window, 0.0F) {}

void SplitComplexBuffer::load(std::span<const std::complex<float>> block) {
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

std::complex<float> sumOf(std::span<const std::complex<float>> samples) {
  // Two lanes' worth of floats, real and imaginary parts alternating.
  std::array<float, 2 * kLanes> sums{};
  // std::complex<float> is laid out as two floats, real first.
  const auto* values = reinterpret_cast<const float*>(samples.data());
  const std::size_t whole = 2 * samples.size() / sums.size() * sums.size();
  for (std::size_t i = 0; i < whole; i += sums.size())
    for (std::size_t k = 0; k < sums.size(); ++k)
      sums[k] += values[i + k];
  std::complex<float> sum((sums[0] + sums[2]) + (sums[4] + sums[6]),
                          (sums[1] + sums[3]) + (sums[5] + sums[7]));
  for (std::size_t n = whole / 2; n < samples.size(); ++n)
    sum += samples[n];
  return sum;
}

}  // namespace tavimor::dsp
