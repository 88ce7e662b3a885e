// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/carrier_finder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "fm/fm_receiver.h"

namespace tavimor::scan {
namespace {

// A station's core: most of an FM broadcast's power lies within its deviation.
constexpr double kCoreHz = 50'000.0;
// Stations lie at least 100 kHz apart.
constexpr double kSeparationHz = 90'000.0;
// Carriers weaker than this over the noise in 200 kHz are not reported: noise alone stays
// well below it in a half-second average.
constexpr double kLeastSnrDb = 6.0;
// The band's edges, where the tuner's own filter rolls off, do not count for the noise floor.
constexpr double kFloorShare = 0.8;
// The floor is the level that this share of the bins stays under: low enough to miss the
// stations of a crowded band (at 0.2, eight stations in 2 MHz read it 2.5 dB high), high enough
// to sit on the noise rather than below it (half a decibel under, over a half-second average).
constexpr double kFloorQuantile = 0.1;

double decibels(double ratio) {
  return 10.0 * std::log10(std::max(ratio, 1e-30));
}

// The sums of `power` over every window of 2 x half + 1 bins, the window cut at the ends.
std::vector<double> windowSums(std::span<const double> power, std::size_t half) {
  std::vector<double> prefix(power.size() + 1, 0.0);
  for (std::size_t i = 0; i < power.size(); ++i)
    prefix[i + 1] = prefix[i] + power[i];
  std::vector<double> sums(power.size());
  for (std::size_t i = 0; i < power.size(); ++i) {
    const std::size_t low = i > half ? i - half : 0;
    const std::size_t high = std::min(power.size(), i + half + 1);
    sums[i] = prefix[high] - prefix[low];
  }
  return sums;
}

// Where the power above the floor is centred, within half bins of `around`.
double centreOf(std::span<const double> power, double floor, std::size_t around, std::size_t half) {
  double weighted = 0.0;
  double total = 0.0;
  const std::size_t low = around > half ? around - half : 0;
  const std::size_t high = std::min(power.size(), around + half + 1);
  for (std::size_t i = low; i < high; ++i) {
    const double excess = std::max(0.0, power[i] - floor);
    weighted += excess * static_cast<double>(i);
    total += excess;
  }
  return total > 0.0 ? weighted / total : static_cast<double>(around);
}

}  // namespace

double noisePerBin(std::span<const double> power) {
  const auto edge =
      static_cast<std::size_t>(static_cast<double>(power.size()) * (1.0 - kFloorShare) / 2.0);
  std::vector<double> inner(power.begin() + static_cast<std::ptrdiff_t>(edge),
                            power.end() - static_cast<std::ptrdiff_t>(edge));
  if (inner.empty()) return 0.0;
  const auto quantile = inner.begin() + static_cast<std::ptrdiff_t>(
                                            static_cast<double>(inner.size()) * kFloorQuantile);
  std::nth_element(inner.begin(), quantile, inner.end());
  return *quantile;
}

std::vector<Carrier> findCarriers(std::span<const double> power, double binHz,
                                  double widestOffsetHz) {
  std::vector<Carrier> carriers;
  if (power.empty()) return carriers;
  const double floor = noisePerBin(power);
  const auto core = static_cast<std::size_t>(kCoreHz / binHz);
  const auto channel = static_cast<std::size_t>(fm::kChannelHz / binHz);
  const auto separation = static_cast<std::size_t>(kSeparationHz / binHz);
  const std::vector<double> coreSums = windowSums(power, core);
  const std::vector<double> channelSums = windowSums(power, channel);
  const double channelNoise = floor * static_cast<double>(2 * channel + 1);
  const std::size_t centreBin = power.size() / 2;
  const auto centre = static_cast<double>(centreBin);
  for (std::size_t bin = 0; bin < power.size(); ++bin) {
    const double offset = (static_cast<double>(bin) - centre) * binHz;
    if (std::abs(offset) > widestOffsetHz) continue;
    const std::size_t low = bin > separation ? bin - separation : 0;
    const std::size_t high = std::min(power.size(), bin + separation + 1);
    const auto peak = std::max_element(coreSums.begin() + static_cast<std::ptrdiff_t>(low),
                                       coreSums.begin() + static_cast<std::ptrdiff_t>(high));
    if (peak != coreSums.begin() + static_cast<std::ptrdiff_t>(bin)) continue;
    const double level = channelSums[bin] - channelNoise;
    const double snrDb = decibels(level / channelNoise);
    if (snrDb < kLeastSnrDb) continue;
    const double middle = centreOf(power, floor, bin, core);
    carriers.push_back(
        {.offsetHz = (middle - centre) * binHz, .levelDbfs = decibels(level), .snrDb = snrDb});
  }
  std::ranges::sort(carriers,
                    [](const Carrier& a, const Carrier& b) { return a.levelDbfs > b.levelDbfs; });
  return carriers;
}

}  // namespace tavimor::scan
