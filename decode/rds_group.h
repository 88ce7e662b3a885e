// SPDX-License-Identifier: GPL-3.0-or-later
// One RDS group, and the nine bytes in which a receiver sends it over the serial line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tavimor {

// Blocks A to D of a group; block A is the programme identification (PI).
struct RdsGroup {
  std::uint16_t a = 0;
  std::uint16_t b = 0;
  std::uint16_t c = 0;
  std::uint16_t d = 0;
  bool operator==(const RdsGroup&) const = default;
};

// A lead byte, then blocks A, B, C and D, two bytes each, high byte first.
inline constexpr std::size_t kPacketSize = 9;
using PacketBytes = std::array<std::uint8_t, kPacketSize>;

// The monitor ignores the lead byte; receivers use it for status, and zero means nothing to report.
inline constexpr std::uint8_t kLeadByte = 0x00;

PacketBytes toPacket(const RdsGroup& group, std::uint8_t leadByte = kLeadByte);

// The group in a packet's nine bytes; the lead byte is dropped.
RdsGroup groupOfPacket(std::span<const std::uint8_t, kPacketSize> packet);

}  // namespace tavimor
