// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/recording.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "tools/feed/group_log.h"
#include "tools/feed/sample_input.h"

namespace tavimor::radio {
namespace {

bool namedRawIq(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::ranges::transform(extension, extension.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".cu8";
}

// Whether the file's first lines hold hex groups, and whether it reads as text at all.
struct LogLook {
  bool groups = false;
  bool text = true;
};

LogLook lookForGroups(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::array<char, 65536> head{};
  file.read(head.data(), head.size());
  const std::string_view content(head.data(), static_cast<std::size_t>(file.gcount()));
  LogLook look;
  look.text = std::ranges::none_of(content, [](char c) { return c == '\0'; });
  std::istringstream lines{std::string(content)};
  for (std::string line; std::getline(lines, line);) {
    const feed::LogLine parsed = feed::parseLogLine(line);
    if (parsed.kind == feed::LogLine::Kind::Group ||
        parsed.kind == feed::LogLine::Kind::MissingBlock) {
      look.groups = true;
      break;
    }
  }
  return look;
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
  if (namedRawIq(path) && forced != ForcedKind::Multiplex) {
    return Recording{path, RecordingKind::RawIq, rawRate.value_or(kDefaultRawIqRate)};
  }
  auto sound = feed::openSoundFile(path);
  if (auto* input = std::get_if<std::unique_ptr<feed::SampleInput>>(&sound)) {
    const unsigned channels = (*input)->channels();
    const double rate = (*input)->sampleRate();
    if (forced == ForcedKind::Multiplex || (forced == ForcedKind::None && channels == 1)) {
      return Recording{path, RecordingKind::Multiplex, rate};
    }
    if (channels == 2) return Recording{path, RecordingKind::Iq, rate};
    return "holds " + std::to_string(channels) +
           " channels: I/Q takes two (I, then Q) and the FM multiplex one";
  }
  if (forced == ForcedKind::Iq) {
    return Recording{path, RecordingKind::RawIq, rawRate.value_or(kDefaultRawIqRate)};
  }
  const LogLook look = lookForGroups(path);
  if (look.groups && forced == ForcedKind::None) return Recording{path, RecordingKind::GroupLog};
  if (forced == ForcedKind::Multiplex) return "is not a sound file (WAV, FLAC, ...)";
  if (look.text) {
    return "is a text file without hex groups (lines of PPPP BBBB CCCC DDDD), not a recording";
  }
  return "is neither a sound file (WAV, FLAC), a raw I/Q recording named *.cu8, nor a hex "
         "group log";
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
