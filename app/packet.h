#pragma once

#include <cstddef>

namespace tavimor {

// One RDS group as the receiver sends it: a lead byte, then blocks A, B, C and D, two bytes
// each, high byte first.
inline constexpr std::size_t kPacketSize = 9;

}  // namespace tavimor
