// SPDX-License-Identifier: GPL-3.0-or-later
// What a recording holds, told from its header, its name or its first lines: what the feeder and
// the radio need to know to play it, so that no script reads headers itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace tavimor::feed {

enum class RecordingKind {
  Iq,         // a sound file of two channels, I then Q
  Multiplex,  // a sound file whose first channel is an FM multiplex signal
  Audio,      // a sound file at too low a rate to carry RDS
  RawIq,      // rtl_sdr's raw unsigned 8-bit I/Q (.cu8), whose rate is not recorded
  GroupLog,   // a hex group log
};

struct Recording {
  RecordingKind kind = RecordingKind::GroupLog;
  // Samples a second; none where the file does not say.
  std::optional<double> sampleRate;
  unsigned channels = 0;
  // Samples of each channel, or a log's groups; none where unknown.
  std::optional<std::uint64_t> length;
};

// The recording, or why the file is none that Tavimor can play.
std::variant<Recording, std::string> probeRecording(const std::string& path);

// The kind as --probe names it: iq, multiplex, audio, raw-iq or log.
std::string kindName(RecordingKind kind);

// --probe's answer: "key: value" lines (file, kind, rate, channels, length, seconds), those not
// known left out.
std::string describeRecording(const std::string& path, const Recording& recording);

}  // namespace tavimor::feed
