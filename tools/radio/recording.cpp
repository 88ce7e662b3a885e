// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/recording.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/feed/recording_probe.h"

namespace tavimor::radio {
namespace {

// A file that is text, for a better word than "no recording" when it is no group log either.
bool looksLikeText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::array<char, 4096> head{};
  file.read(head.data(), head.size());
  const std::string_view content(head.data(), static_cast<std::size_t>(file.gcount()));
  return std::ranges::none_of(content, [](char c) { return c == '\0'; });
}

std::string ratePhrase(double rate) {
  std::ostringstream text;
  if (std::fmod(rate, 1000.0) == 0.0)
    text << std::llround(rate / 1000.0) << 'k';
  else
    text << std::llround(rate);
  return text.str();
}

}  // namespace

std::variant<Recording, std::string> identifyRecording(const std::string& path, ForcedKind forced,
                                                       std::optional<double> rawRate) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || !std::ifstream(path).is_open()) {
    return "no such recording, or not readable";
  }
  if (std::filesystem::file_size(path, error) == 0) return "is empty";
  const double raw = rawRate.value_or(kDefaultRawIqRate);
  auto probed = feed::probeRecording(path);
  if (std::holds_alternative<std::string>(probed)) {
    if (forced == ForcedKind::Iq) return Recording{path, RecordingKind::RawIq, raw};
    if (looksLikeText(path)) {
      return "is a text file without hex groups (lines of PPPP BBBB CCCC DDDD), not a recording";
    }
    return "is neither a sound file (WAV, FLAC), a raw I/Q recording named *.cu8, nor a hex "
           "group log";
  }
  const feed::Recording& found = std::get<feed::Recording>(probed);
  const double rate = found.sampleRate.value_or(raw);
  switch (found.kind) {
    case feed::RecordingKind::RawIq:
      if (forced == ForcedKind::Multiplex) return "is raw I/Q (*.cu8), not a multiplex recording";
      return Recording{path, RecordingKind::RawIq, raw};
    case feed::RecordingKind::Iq:
      if (forced == ForcedKind::Multiplex) return Recording{path, RecordingKind::Multiplex, rate};
      return Recording{path, RecordingKind::Iq, rate};
    case feed::RecordingKind::Multiplex:
      if (forced == ForcedKind::Iq) {
        return "holds " + std::to_string(found.channels) + " channels, and I/Q takes two, I then Q";
      }
      return Recording{path, RecordingKind::Multiplex, rate};
    case feed::RecordingKind::Audio:
      return "its " + std::to_string(std::llround(rate)) +
             " samples a second cannot carry RDS (at least 128000 are needed): it is audio, not "
             "an FM multiplex signal";
    case feed::RecordingKind::GroupLog:
      if (forced != ForcedKind::None) return "is a hex group log, not a signal";
      return Recording{path, RecordingKind::GroupLog};
  }
  return "cannot be played";
}

std::string describeRecording(const Recording& recording) {
  switch (recording.kind) {
    case RecordingKind::GroupLog:
      return "a hex group log";
    case RecordingKind::Multiplex:
      return "an FM multiplex recording";
    case RecordingKind::Iq:
      return "an I/Q recording";
    case RecordingKind::RawIq:
      return "a raw I/Q recording at " + ratePhrase(recording.sampleRate) + " samples a second";
  }
  return {};
}

}  // namespace tavimor::radio
