// SPDX-License-Identifier: GPL-3.0-or-later
// The receivers behind tavimor-radio's window, for now built on the feeder's sources, inputs
// and the FM and multiplex decoders.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tools/radio/receiver.h"
#include "tools/radio/recording.h"

namespace tavimor::radio {

std::unique_ptr<Receiver> makeDemoReceiver();

// Played at its own pace. An I/Q recording starts on the station offsetHz from its centre.
std::unique_ptr<Receiver> makeRecordingReceiver(const Recording& recording,
                                                std::optional<double> offsetHz);

struct StickSettings {
  double frequencyHz = 0.0;
  std::optional<std::string> device;
  double gainDb = 0.0;
  int ppm = 0;
};

// An RTL-SDR stick through rtl_sdr, whose I/Q is received here.
std::unique_ptr<Receiver> makeStickReceiver(const StickSettings& settings);

}  // namespace tavimor::radio
