// SPDX-License-Identifier: GPL-3.0-or-later
// Everything one read from the receiver changes: the station model, the traffic state with its
// status file, and the display fields that show them. Plain C++, so it runs without a port or a
// window.
#pragma once

#include <system_error>

#include "decode/packet_framer.h"
#include "decode/rds_group.h"
#include "decode/station.h"
#include "traffic/traffic_indicator.h"
#include "ui/display_fields.h"

namespace tavimor {

class Reception {
 public:
  explicit Reception(StatusFile statusFile = StatusFile()) : traffic_(std::move(statusFile)) {}

  // Start-up: traffic.txt says that no traffic state is known yet.
  std::error_code start() const { return traffic_.reset(); }

  // Shows the packet as received and in hex, decodes it, follows the traffic state and shows
  // what changed.
  void handlePacket(const PacketBytes& packet);

  // Shows the fragment as received and in hex, and nothing more: it cannot put invented values
  // into the fields or shift the station name and RadioText buffers.
  void showFragment(const Fragment& fragment);

  const Station& station() const { return station_; }
  const TrafficIndicator& traffic() const { return traffic_; }
  DisplayFields& fields() { return fields_; }
  const DisplayFields& fields() const { return fields_; }

 private:
  Station station_;
  TrafficIndicator traffic_;
  DisplayFields fields_;
};

}  // namespace tavimor
