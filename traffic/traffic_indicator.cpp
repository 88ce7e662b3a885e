#include "traffic_indicator.h"

namespace tavimor {

void updateTrafficIndicator(TrafficState& state, DisplayFields& fields, const StatusFile& file) {
  const bool announcement =
      fields.caption(Field::lblTP) == "1" && fields.caption(Field::lblTA) == "1";
  state.trafficFlag = announcement ? 1 : 0;

  const bool changed = state.trafficFlag != state.lastTrafficFlag;
  if (changed) {
    fields.setCaption(Field::lblTraffic, announcement ? "TRAFFIC ANNOUNCEMENT" : "NO TRAFFIC");
    fields.setBackground(Field::lblTraffic, announcement ? kLightRed : kLightGreen);
  }
  if (changed || state.statusFileStale) {
    const auto error = file.write(announcement ? kStatusTraffic : kStatusNoTraffic);
    state.statusFileStale = static_cast<bool>(error);
  }
  state.lastTrafficFlag = state.trafficFlag;
}

}  // namespace tavimor
