// SPDX-License-Identifier: GPL-3.0-or-later
// Bit helpers over the 26-bit blocks as they arrive: the first bit received is the highest.
#pragma once

#include <bit>
#include <cstdint>

namespace tavimor::mpx {

inline constexpr unsigned kBlockBits = 26;
inline constexpr unsigned kCheckBits = 10;
inline constexpr unsigned kDataBits = 16;
inline constexpr std::uint32_t kBlockMask = (1U << kBlockBits) - 1U;
inline constexpr std::uint32_t kCheckMask = (1U << kCheckBits) - 1U;

constexpr std::uint32_t shiftIn(std::uint32_t word, bool bit) {
  return ((word << 1U) | (bit ? 1U : 0U)) & kBlockMask;
}

constexpr std::uint16_t dataOf(std::uint32_t block) {
  return static_cast<std::uint16_t>(block >> kCheckBits);
}

constexpr unsigned ones(std::uint32_t word) {
  return static_cast<unsigned>(std::popcount(word));
}

}  // namespace tavimor::mpx
