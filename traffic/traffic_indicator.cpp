// SPDX-License-Identifier: GPL-3.0-or-later
#include "traffic/traffic_indicator.h"

namespace tavimor {

TrafficState trafficStateOf(const Station& station) {
  const bool onAir = station.switching && station.switching->trafficProgramme &&
                     station.switching->trafficAnnouncement;
  return onAir ? TrafficState::Announcement : TrafficState::NoAnnouncement;
}

std::string_view statusLine(TrafficState state) {
  return state == TrafficState::Announcement ? kStatusTraffic : kStatusNoTraffic;
}

void TrafficIndicator::follow(const Station& station) {
  const TrafficState state = trafficStateOf(station);
  if (state == state_ && !fileStale_) return;
  state_ = state;
  fileStale_ = static_cast<bool>(file_.write(statusLine(state)));
}

}  // namespace tavimor
