// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/station_tracker.h"

#include <algorithm>
#include <tuple>

namespace tavimor::radio {
namespace {

// Block B: the group type in its top four bits, the version in bit 11, PTY in bits 9 to 5, and
// for group 0 the PS segment in bits 1 and 0.
constexpr unsigned groupType(std::uint16_t b) {
  return b >> 12U;
}
constexpr std::uint8_t programmeType(std::uint16_t b) {
  return (b >> 5U) & 0x1FU;
}

// The eight characters as they are shown; the RDS table's letters outside ASCII as '?'.
char shown(std::uint8_t code) {
  return code >= 0x20 && code < 0x7F ? static_cast<char>(code) : '?';
}

}  // namespace

bool StationTracker::take(const feed::LogBlocks& blocks) {
  blocks_ += blocks.size();
  lostBlocks_ += static_cast<std::uint64_t>(
      std::ranges::count_if(blocks, [](const auto& block) { return !block; }));
  const auto& [a, b, c, d] = blocks;
  const auto before = std::make_tuple(pi_, pty_, ps_);
  if (a) {
    if (pi_ != *a) {
      // Another station: its name is not the last one's.
      segmentsSeen_ = 0;
      ps_.clear();
    }
    pi_ = *a;
  }
  if (b) pty_ = programmeType(*b);
  if (b && d && groupType(*b) == 0) {
    const std::size_t segment = *b & 0x3U;
    segments_[2 * segment] = shown(static_cast<std::uint8_t>(*d >> 8U));
    segments_[2 * segment + 1] = shown(static_cast<std::uint8_t>(*d & 0xFFU));
    segmentsSeen_ |= 1U << segment;
    if (segmentsSeen_ == 0xFU) ps_.assign(segments_.begin(), segments_.end());
  }
  return before != std::make_tuple(pi_, pty_, ps_);
}

void StationTracker::fill(Station& station) const {
  station.pi = pi_;
  station.ps = ps_;
  station.pty = pty_;
  if (blocks_ > 0) {
    station.quality = 1.0 - static_cast<double>(lostBlocks_) / static_cast<double>(blocks_);
  }
}

}  // namespace tavimor::radio
