// SPDX-License-Identifier: GPL-3.0-or-later
// Turns what the receiver sent and what the station said into the captions and colours of the
// display fields. A field keeps its start-up caption until there is something to show in it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "decode/station.h"
#include "traffic/traffic_state.h"
#include "ui/display_fields.h"

namespace tavimor {

// A packet or fragment from the receiver: as received, and as two hex digits for each byte.
void presentRead(std::span<const std::uint8_t> read, DisplayFields& fields);

void presentStation(const Station& station, DisplayFields& fields);

// The banner; empty until the first group.
void presentTraffic(std::optional<TrafficState> state, DisplayFields& fields);

}  // namespace tavimor
