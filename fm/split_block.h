// SPDX-License-Identifier: GPL-3.0-or-later
// A block of complex samples and the FIR filter's window over each of them. The samples are kept
// split into real and imaginary parts, oldest first, with the end of the previous block before
// them, so that every window is one run of plain floats: the filters' sums then run four at a
// time in vector registers. Debian builds liquid-dsp without vector instructions, and these
// sums are most of the receiver's work.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace tavimor::fm {

// Filter lengths are padded with zeros to a multiple of this.
inline constexpr std::size_t kLanes = 4;

inline std::size_t paddedLength(std::size_t taps) {
  return (taps + kLanes - 1) / kLanes * kLanes;
}

class SplitBlock {
 public:
  // window: the filter's length, a multiple of kLanes.
  explicit SplitBlock(std::size_t window);

  std::size_t window() const { return window_; }
  // The next block, after the samples of the last.
  void load(std::span<const std::complex<float>> block);
  // The window that ends with the block's sample n, oldest first.
  const float* re(std::size_t n) const { return re_.data() + n + 1; }
  const float* im(std::size_t n) const { return im_.data() + n + 1; }
  // The sample that the window of sample n no longer holds: the one before it.
  std::complex<float> leaving(std::size_t n) const { return {re_[n], im_[n]}; }
  std::complex<float> sample(std::size_t n) const { return {re_[n + window_], im_[n + window_]}; }

 private:
  std::size_t window_;
  std::vector<float> re_, im_;
};

// The sum of taps[k] x[k] over a window of real samples.
float dotProduct(const float* taps, const float* x, std::size_t length);
// The same over a window of complex samples, split.
std::complex<float> filterReal(const float* taps, const float* xr, const float* xi,
                               std::size_t length);
// The same with complex taps.
std::complex<float> filterComplex(const float* tapsRe, const float* tapsIm, const float* xr,
                                  const float* xi, std::size_t length);

}  // namespace tavimor::fm
