// What the decode stages carry from one packet to the next, owned by the window for its lifetime.
#pragma once

#include <string>

#include "programme_service_name.h"
#include "radiotext.h"
#include "traffic_indicator.h"

namespace tavimor {

// Default-constructed, every value is its start-up value.
struct DecoderState {
  std::string psBuffer{kEmptyPsName};
  RadioTextState radioText;
  TrafficState traffic;
};

}  // namespace tavimor
