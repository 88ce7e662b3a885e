// SPDX-License-Identifier: GPL-3.0-or-later
// What the list shows of the station tuned to, from its groups: its PI, the last name that came
// whole, its programme type, and the share of its blocks received.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "tools/feed/group_log.h"
#include "tools/radio/receiver.h"

namespace tavimor::radio {

class StationTracker {
 public:
  // A group as decoded, with its lost blocks. Returns whether what the list shows changed.
  bool take(const feed::LogBlocks& blocks);
  // Forgets the station, as on tuning to another.
  void reset() { *this = StationTracker(); }
  // The station's part of a list row.
  void fill(Station& station) const;

 private:
  std::optional<std::uint16_t> pi_;
  std::optional<std::uint8_t> pty_;
  std::array<char, 8> segments_{};
  unsigned segmentsSeen_ = 0;  // one bit for each of the four pairs since the name began
  std::string ps_;
  std::uint64_t blocks_ = 0;
  std::uint64_t lostBlocks_ = 0;
};

}  // namespace tavimor::radio
