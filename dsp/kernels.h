// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver's own kernels: sums over windows of samples kept split into real and imaginary
// parts, four lanes at a time, which the compiler turns into vector instructions. Debian builds
// liquid-dsp without them: its dotprod_crcf takes 31 ms for 1.28 million sums of 64 taps where
// filterReal takes 16, and dotprod_rrrf 22 ms where dotProduct takes 11 (this machine, GCC 12,
// -O2). These sums are most of the FM receiver's work.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace tavimor::dsp {

// Filter lengths are padded with zeros to a multiple of this.
inline constexpr std::size_t kLanes = 4;

inline std::size_t paddedLength(std::size_t taps) {
  return (taps + kLanes - 1) / kLanes * kLanes;
}

// Complex samples held split, oldest first, with the end of the previous block before them, so
// that the window of a FIR filter over every sample of the block is one run of plain floats.
class SplitComplexBuffer {
 public:
  // window: the filter's length, a multiple of kLanes.
  explicit SplitComplexBuffer(std::size_t window);

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

// Each over `length` values, a multiple of kLanes.
// The sum of taps[k] x[k] over real samples.
float dotProduct(const float* taps, const float* x, std::size_t length);
// The same over complex samples, split.
std::complex<float> filterReal(const float* taps, const float* xr, const float* xi,
                               std::size_t length);
// The same with complex taps.
std::complex<float> filterComplex(const float* tapsRe, const float* tapsIm, const float* xr,
                                  const float* xi, std::size_t length);
// w[k] += e conj(x[k]): an adaptive filter's update, inline in the caller's loop. The arrays never
// overlap; saying so lets the compiler use vector instructions.
inline void addConjugateProduct(float* __restrict wr, float* __restrict wi,
                                const float* __restrict xr, const float* __restrict xi,
                                std::size_t length, std::complex<float> e) {
  const float er = e.real();
  const float ei = e.imag();
  for (std::size_t i = 0; i < length; i += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      const std::size_t k = i + lane;
      wr[k] += er * xr[k] + ei * xi[k];
      wi[k] += ei * xr[k] - er * xi[k];
    }
  }
}

// x[k] *= factor.
inline void scale(float* x, std::size_t length, float factor) {
  for (std::size_t i = 0; i < length; i += kLanes)
    for (std::size_t lane = 0; lane < kLanes; ++lane)
      x[i + lane] *= factor;
}

// The sum of any number of complex samples.
std::complex<float> sumOf(std::span<const std::complex<float>> samples);

}  // namespace tavimor::dsp
