// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/band_survey.h"

#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>

namespace tavimor::radio {
namespace {

constexpr double kBinHz = 2000.0;
constexpr float kAboveNoiseDb = 10.0F;
constexpr double kNarrowestCarrierHz = 40'000.0;

unsigned transformSize(double sampleRate) {
  unsigned size = 64;
  while (size < 4096 && sampleRate / size > kBinHz)
    size *= 2;
  return size;
}

}  // namespace

struct BandSurvey::Impl {
  explicit Impl(double rate)
      : sampleRate(rate), spectrum(spgramcf_create_default(transformSize(rate))) {}
  ~Impl() { spgramcf_destroy(spectrum); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  double sampleRate;
  spgramcf spectrum;
};

BandSurvey::BandSurvey(double sampleRate) : impl_(std::make_unique<Impl>(sampleRate)) {}
BandSurvey::~BandSurvey() = default;

void BandSurvey::take(std::span<const std::complex<float>> iq) {
  // liquid-dsp's complex float is layout-compatible with std::complex<float>.
  spgramcf_write(
      impl_->spectrum,
      reinterpret_cast<liquid_float_complex*>(const_cast<std::complex<float>*>(iq.data())),
      static_cast<unsigned>(iq.size()));
}

BandPicture BandSurvey::picture(double centreHz) {
  BandPicture picture{centreHz, impl_->sampleRate, {}};
  if (spgramcf_get_num_transforms(impl_->spectrum) == 0) return picture;
  picture.powerDb.resize(spgramcf_get_nfft(impl_->spectrum));
  spgramcf_get_psd(impl_->spectrum, picture.powerDb.data());
  spgramcf_reset(impl_->spectrum);
  return picture;
}

std::vector<Carrier> findCarriers(const BandPicture& picture) {
  std::vector<Carrier> carriers;
  const std::vector<float>& power = picture.powerDb;
  if (power.empty()) return carriers;
  std::vector<float> sorted = power;
  // The noise floor: most of a capture is between stations.
  const auto floorAt = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 4);
  std::nth_element(sorted.begin(), floorAt, sorted.end());
  const float threshold = *floorAt + kAboveNoiseDb;
  const double binHz = picture.spanHz / static_cast<double>(power.size());
  for (std::size_t start = 0; start < power.size();) {
    if (power[start] < threshold) {
      ++start;
      continue;
    }
    std::size_t end = start;
    double total = 0.0;
    double weighted = 0.0;
    for (; end < power.size() && power[end] >= threshold; ++end) {
      const double linear = std::pow(10.0, power[end] / 10.0);
      total += linear;
      weighted += linear * static_cast<double>(end);
    }
    if (static_cast<double>(end - start) * binHz >= kNarrowestCarrierHz) {
      const double bin = weighted / total;
      carriers.push_back({(bin / static_cast<double>(power.size()) - 0.5) * picture.spanHz,
                          10.0 * std::log10(total / static_cast<double>(power.size()))});
    }
    start = end;
  }
  return carriers;
}

}  // namespace tavimor::radio
