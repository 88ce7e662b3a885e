#include "rds_group.h"

namespace tavimor::feed {

Packet toPacket(const RdsGroup& group) {
  Packet packet{kLeadByte};
  std::size_t next = 1;
  for (const std::uint16_t block : {group.a, group.b, group.c, group.d}) {
    packet[next++] = static_cast<std::uint8_t>(block >> 8);
    packet[next++] = static_cast<std::uint8_t>(block & 0xFF);
  }
  return packet;
}

}  // namespace tavimor::feed
