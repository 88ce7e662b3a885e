// SPDX-License-Identifier: GPL-3.0-or-later
// A complex discrete Fourier transform of one size, over buffers of its own, unscaled both ways:
// fill input(), run(), read output(). FFTW's, which liquid-dsp uses inside its own objects; its
// public fft_create_plan is liquid-dsp's own transform, which takes 154 us for 8,192 points where
// FFTW takes 16, and 11 us for 1,024 where FFTW takes 0.8 (Debian's builds, this machine).
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <span>

namespace tavimor::dsp {

class Fft {
 public:
  enum class Direction { Forward, Inverse };
  Fft(std::size_t size, Direction direction);
  ~Fft();
  Fft(Fft&& other) noexcept;
  Fft& operator=(Fft&& other) noexcept;
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;

  std::size_t size() const { return size_; }
  std::span<std::complex<float>> input() { return {in_, size_}; }
  std::span<const std::complex<float>> output() const { return {out_, size_}; }
  void run();

 private:
  struct Plan;

  std::size_t size_;
  // FFTW's own allocations, aligned for its vector instructions.
  std::complex<float>* in_;
  std::complex<float>* out_;
  std::unique_ptr<Plan> plan_;
};

}  // namespace tavimor::dsp
