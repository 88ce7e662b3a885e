// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/reception.h"

#include <cstdint>
#include <span>

#include "decode/decoder.h"
#include "decode/rds_group.h"
#include "ui/station_presenter.h"

namespace tavimor {

void Reception::handleRead(std::string_view read) {
  presentRead(read, fields_);
  if (read.size() < kPacketSize) return;

  const std::span<const std::uint8_t, kPacketSize> packet(
      reinterpret_cast<const std::uint8_t*>(read.data()), kPacketSize);
  decodeGroup(groupOfPacket(packet), station_);
  traffic_.follow(station_);
  presentStation(station_, fields_);
  presentTraffic(traffic_.state(), fields_);
}

}  // namespace tavimor
