// SPDX-License-Identifier: GPL-3.0-or-later
// The receivers of recordings behind tavimor-radio's window, built on the feeder's sources and
// inputs and the receiver chain; a tuner's is in tuner_receiver.h.
#pragma once

#include <memory>
#include <optional>

#include "tools/radio/receiver.h"
#include "tools/radio/recording.h"

namespace tavimor::radio {

std::unique_ptr<Receiver> makeDemoReceiver();

// Played at its own pace. An I/Q recording starts on the station offsetHz from its centre.
std::unique_ptr<Receiver> makeRecordingReceiver(const Recording& recording,
                                                std::optional<double> offsetHz);

}  // namespace tavimor::radio
