// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/reception.h"

#include "decode/decoder.h"
#include "ui/station_presenter.h"

namespace tavimor {

void Reception::handlePacket(const PacketBytes& packet) {
  presentRead(packet, fields_);
  decodeGroup(groupOfPacket(packet), station_);
  traffic_.follow(station_);
  presentStation(station_, fields_);
  presentTraffic(traffic_.state(), fields_);
}

void Reception::showFragment(const Fragment& fragment) {
  presentRead(fragment.bytes(), fields_);
}

}  // namespace tavimor
