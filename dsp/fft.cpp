// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace tavimor::dsp {

struct Fft::Plan {
  explicit Plan(fftwf_plan made) : plan(made) {}
  ~Plan() { fftwf_destroy_plan(plan); }
  Plan(const Plan&) = delete;
  Plan& operator=(const Plan&) = delete;
  Plan(Plan&&) = delete;
  Plan& operator=(Plan&&) = delete;

  fftwf_plan plan;
};

namespace {

std::complex<float>* allocate(std::size_t size) {
  // fftwf_complex is laid out as std::complex<float> is.
  auto* memory = static_cast<std::complex<float>*>(fftwf_malloc(size * sizeof(fftwf_complex)));
  if (memory == nullptr) throw std::bad_alloc();
  std::fill_n(memory, size, std::complex<float>{});
  return memory;
}

}  // namespace

Fft::Fft(std::size_t size, Direction direction)
    : size_(size), in_(allocate(size)), out_(allocate(size)) {
  // FFTW_ESTIMATE plans at once, without timing trial transforms, and leaves the input as it is.
  fftwf_plan plan = fftwf_plan_dft_1d(
      static_cast<int>(size), reinterpret_cast<fftwf_complex*>(in_),
      reinterpret_cast<fftwf_complex*>(out_),
      direction == Direction::Forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
  if (plan == nullptr) {
    fftwf_free(in_);
    fftwf_free(out_);
    throw std::runtime_error("FFTW could not plan a transform");
  }
  plan_ = std::make_unique<Plan>(plan);
}

Fft::~Fft() {
  plan_.reset();
  fftwf_free(in_);
  fftwf_free(out_);
}

Fft::Fft(Fft&& other) noexcept
    : size_(std::exchange(other.size_, 0)),
      in_(std::exchange(other.in_, nullptr)),
      out_(std::exchange(other.out_, nullptr)),
      plan_(std::move(other.plan_)) {}

Fft& Fft::operator=(Fft&& other) noexcept {
  if (this != &other) {
    plan_.reset();
    fftwf_free(in_);
    fftwf_free(out_);
    size_ = std::exchange(other.size_, 0);
    in_ = std::exchange(other.in_, nullptr);
    out_ = std::exchange(other.out_, nullptr);
    plan_ = std::move(other.plan_);
  }
  return *this;
}

void Fft::run() {
  fftwf_execute(plan_->plan);
}

}  // namespace tavimor::dsp
