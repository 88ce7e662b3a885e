// SPDX-License-Identifier: GPL-3.0-or-later
#include "fm/cma_equalizer.h"

#include <algorithm>
#include <cmath>

namespace tavimor::fm {

CmaEqualizer::CmaEqualizer(std::size_t taps, std::size_t mainTap, float step,
                           std::size_t updateEvery)
    : mainTap_(mainTap),
      step_(step),
      updateEvery_(std::max<std::size_t>(updateEvery, 1)),
      block_(dsp::paddedLength(taps)),
      tapRe_(block_.window(), 0.0F),
      tapIm_(block_.window(), 0.0F) {
  tapRe_.at(block_.window() - 1 - mainTap_) = 1.0F;
}

void CmaEqualizer::update(std::complex<float> output, std::size_t n) {
  const float modulus = std::sqrt(std::norm(output));
  if (modulus < 1e-6F || windowPower_ <= 0.0) return;
  // Radially towards the unit circle: the error of the modulus, in the output's phase.
  const std::complex<float> error =
      (output / modulus - output) * (step_ / static_cast<float>(windowPower_));
  dsp::addConjugateProduct(tapRe_.data(), tapIm_.data(), block_.re(n), block_.im(n),
                           block_.window(), error);
  if (leak_ > 0.0F) leakTowardsPassThrough();
}

void CmaEqualizer::leakTowardsPassThrough() {
  const float keep = 1.0F - leak_;
  dsp::scale(tapRe_.data(), tapRe_.size(), keep);
  dsp::scale(tapIm_.data(), tapIm_.size(), keep);
  tapRe_[block_.window() - 1 - mainTap_] += leak_;
}

void CmaEqualizer::process(std::span<std::complex<float>> samples) {
  block_.load(samples);
  for (std::size_t n = 0; n < samples.size(); ++n) {
    windowPower_ += static_cast<double>(std::norm(block_.sample(n))) - std::norm(block_.leaving(n));
    const std::complex<float> output = dsp::filterComplex(
        tapRe_.data(), tapIm_.data(), block_.re(n), block_.im(n), block_.window());
    if (++sinceUpdate_ == updateEvery_) {
      sinceUpdate_ = 0;
      update(output, n);
    }
    samples[n] = output;
  }
}

std::size_t CmaEqualizer::strongestTap() const {
  std::size_t strongest = 0;
  float most = -1.0F;
  for (std::size_t k = 0; k < tapRe_.size(); ++k) {
    const float power = tapRe_[k] * tapRe_[k] + tapIm_[k] * tapIm_[k];
    if (power > most) {
      most = power;
      strongest = k;
    }
  }
  return strongest;
}

float CmaEqualizer::asymmetry() const {
  const std::size_t centre = strongestTap();
  const std::complex<float> main(tapRe_[centre], tapIm_[centre]);
  if (std::norm(main) == 0.0F) return 0.0F;
  // The taps turned so that the strongest is real, as the output's phase is free.
  const std::complex<float> turn = std::conj(main) / std::abs(main);
  // Beyond either end the taps are 0.
  const auto tap = [&](std::size_t k, bool later) {
    const std::size_t index = later ? centre - k : centre + k;
    if (later ? k > centre : index >= tapRe_.size()) return std::complex<float>();
    return std::complex<float>(tapRe_[index], tapIm_[index]) * turn;
  };
  float unmatched = 0.0F;
  for (std::size_t k = 1; k < tapRe_.size(); ++k)
    unmatched += std::norm(tap(k, false) - std::conj(tap(k, true)));
  return unmatched / std::norm(main);
}

}  // namespace tavimor::fm
