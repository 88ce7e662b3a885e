// The traffic banner and status file, following TP and TA as the group 0 flags left them.
#pragma once

#include <cstdint>

#include "display_fields.h"
#include "status_file.h"

namespace tavimor {

struct TrafficState {
  std::int16_t trafficFlag = 0;      // 1 while TP and TA are both "1"
  std::int16_t lastTrafficFlag = 2;  // last state shown; 2 before the first packet
  bool statusFileStale = false;      // the last state could not be written to the file yet
};

// Runs after every decoded packet: on a change of state sets the banner and rewrites the file.
// A write that failed is tried again with each later packet until the file is right.
void updateTrafficIndicator(TrafficState& state, DisplayFields& fields, const StatusFile& file);

}  // namespace tavimor
