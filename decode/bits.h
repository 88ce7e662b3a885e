// SPDX-License-Identifier: GPL-3.0-or-later
// Fields of a 16-bit block, numbered as the RDS standard numbers them: bit 0 is the lowest.
#pragma once

#include <cstdint>

namespace tavimor {

constexpr unsigned bitsOf(std::uint16_t block, unsigned lowestBit, unsigned count) {
  return (block >> lowestBit) & ((1U << count) - 1U);
}

constexpr bool bitOf(std::uint16_t block, unsigned bit) {
  return bitsOf(block, bit, 1) != 0;
}

// Block C or D of a text group: two characters, the first in the high byte.
constexpr char highByte(std::uint16_t block) {
  return static_cast<char>(block >> 8);
}
constexpr char lowByte(std::uint16_t block) {
  return static_cast<char>(block & 0xFF);
}

}  // namespace tavimor
