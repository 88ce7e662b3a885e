// SPDX-License-Identifier: GPL-3.0-or-later
// A tuner through SoapySDR (an RTL-SDR stick, or any make with its own module), opened once and
// tuned and retuned on the open device. Without a station to start on, it scans the band, listing
// the stations hop by hop and keeping them fresh until one is picked; the list then stays, to
// change station again.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/radio/receiver.h"

namespace tavimor::radio {

struct StickSettings {
  // The station to start on; none: the band is scanned first.
  std::optional<double> frequencyHz{};
  // SoapySDR's device arguments, as "driver=rtlsdr,serial=00000001"; empty: the only one found.
  std::string device{};
  // None: the tuner's automatic gain.
  std::optional<double> gainDb{};
  int ppm = 0;
};

std::unique_ptr<Receiver> makeStickReceiver(const StickSettings& settings);

}  // namespace tavimor::radio
