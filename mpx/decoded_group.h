// SPDX-License-Identifier: GPL-3.0-or-later
// What the block decoder hands on: one group as far as it could be decoded, and the counts kept.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "decode/rds_group.h"

namespace tavimor::mpx {

// One group as far as it could be decoded; a block that failed its check is absent. Block C
// holds C or C' alike.
struct DecodedGroup {
  std::array<std::optional<std::uint16_t>, 4> blocks{};
  // The index, counted from the first sample ever given, of the sample that ended the group (or
  // its last block decided, for a group cut short by the end of the input).
  std::uint64_t endSample = 0;

  bool complete() const;
  // Only for a complete group.
  RdsGroup group() const;
};

using GroupHandler = std::function<void(const DecodedGroup&)>;

struct DecoderCounts {
  std::uint64_t groups = 0;          // groups reported, complete or not
  std::uint64_t completeGroups = 0;  // groups with all four blocks
  std::uint64_t blocks = 0;          // blocks that passed their check
  std::uint64_t lostBlocks = 0;      // blocks of reported groups that did not
};

}  // namespace tavimor::mpx
