// One RDS group and the nine bytes a receiver sends for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavimor::feed {

struct RdsGroup {
  std::uint16_t a = 0;
  std::uint16_t b = 0;
  std::uint16_t c = 0;
  std::uint16_t d = 0;
  bool operator==(const RdsGroup&) const = default;
};

inline constexpr std::size_t kPacketSize = 9;
using Packet = std::array<std::uint8_t, kPacketSize>;

// The monitor ignores the lead byte; receivers use it for status, and zero means nothing to report.
inline constexpr std::uint8_t kLeadByte = 0x00;

// The lead byte, then blocks A, B, C and D, high byte first.
Packet toPacket(const RdsGroup& group);

}  // namespace tavimor::feed
