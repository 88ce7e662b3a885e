// SPDX-License-Identifier: GPL-3.0-or-later
// A group's type, from block B: a number from 0 to 15 and version A or B.
#pragma once

#include <cstdint>

#include "decode/bits.h"

namespace tavimor {

enum class GroupVersion : std::uint8_t { A, B };

struct GroupType {
  std::uint8_t number = 0;
  GroupVersion version = GroupVersion::A;
  bool operator==(const GroupType&) const = default;
};

constexpr GroupType groupTypeOf(std::uint16_t blockB) {
  return {static_cast<std::uint8_t>(bitsOf(blockB, 12, 4)),
          bitOf(blockB, 11) ? GroupVersion::B : GroupVersion::A};
}

}  // namespace tavimor
