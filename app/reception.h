// SPDX-License-Identifier: GPL-3.0-or-later
// Everything one read from the receiver changes: the station model, the traffic state with its
// status file, and the display fields that show them. Plain C++, so it runs without a port or a
// window.
#pragma once

#include <string_view>
#include <system_error>

#include "decode/station.h"
#include "traffic/traffic_indicator.h"
#include "ui/display_fields.h"

namespace tavimor {

class Reception {
 public:
  explicit Reception(StatusFile statusFile = StatusFile()) : traffic_(std::move(statusFile)) {}

  // Start-up: traffic.txt says that no traffic state is known yet.
  std::error_code start() const { return traffic_.reset(); }

  // Shows the read as received and in hex. A whole packet is then decoded; a shorter fragment is
  // only shown, so that it cannot put invented values into the fields or shift the station name
  // and RadioText buffers.
  void handleRead(std::string_view read);

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
