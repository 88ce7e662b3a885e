// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/rds_group.h"

namespace tavimor {

PacketBytes toPacket(const RdsGroup& group, std::uint8_t leadByte) {
  PacketBytes packet{leadByte};
  std::size_t next = 1;
  for (const std::uint16_t block : {group.a, group.b, group.c, group.d}) {
    packet[next++] = static_cast<std::uint8_t>(block >> 8);
    packet[next++] = static_cast<std::uint8_t>(block & 0xFF);
  }
  return packet;
}

RdsGroup groupOfPacket(std::span<const std::uint8_t, kPacketSize> packet) {
  const auto block = [&](std::size_t first) {
    return static_cast<std::uint16_t>(packet[first] << 8 | packet[first + 1]);
  };
  return {block(1), block(3), block(5), block(7)};
}

}  // namespace tavimor
