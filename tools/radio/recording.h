// SPDX-License-Identifier: GPL-3.0-or-later
// What a recording holds, told from the file itself: a sound file's header as libsndfile reads
// it, a raw I/Q recording by its name, a hex group log by its lines.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "tools/radio/radio_options.h"

namespace tavimor::radio {

enum class RecordingKind { GroupLog, Multiplex, Iq, RawIq };

// rtl_sdr's rate, unless a raw recording is said to have another.
inline constexpr double kDefaultRawIqRate = 1'024'000.0;

struct Recording {
  std::string path;
  RecordingKind kind = RecordingKind::GroupLog;
  // Samples a second of a signal; 0 for a group log.
  double sampleRate = 0.0;
};

// The recording at path, or why it cannot be played.
std::variant<Recording, std::string> identifyRecording(const std::string& path, ForcedKind forced,
                                                       std::optional<double> rawRate);

// "an FM multiplex recording", "a raw I/Q recording at 1024k samples a second", ...
std::string describeRecording(const Recording& recording);

}  // namespace tavimor::radio
