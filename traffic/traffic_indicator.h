// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic state, a traffic announcement on air or not, and its mirror in traffic.txt for
// other programs.
#pragma once

#include <optional>
#include <string_view>
#include <system_error>

#include "decode/station.h"
#include "traffic/status_file.h"
#include "traffic/traffic_state.h"

namespace tavimor {

// An announcement is on air while the latest group 0 set both TP and TA; before any group 0 it
// is not.
TrafficState trafficStateOf(const Station& station);

// What traffic.txt holds for a state.
std::string_view statusLine(TrafficState state);

class TrafficIndicator {
 public:
  explicit TrafficIndicator(StatusFile file = StatusFile()) : file_(std::move(file)) {}

  // Start-up: traffic.txt says that the state is not known yet.
  std::error_code reset() const { return file_.write(kStatusUnknown); }

  // Runs after every decoded group. The file is rewritten when the state changes (the first
  // group always counts as a change); a write that failed is tried again with each later group
  // until the file is right.
  void follow(const Station& station);

  // Empty until the first group.
  std::optional<TrafficState> state() const { return state_; }

  const StatusFile& statusFile() const { return file_; }

 private:
  StatusFile file_;
  std::optional<TrafficState> state_;
  bool fileStale_ = false;
};

}  // namespace tavimor
