// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/recording_probe.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "mpx/mpx_decoder.h"
#include "tools/feed/group_log.h"
#include "tools/feed/sample_input.h"

namespace tavimor::feed {
namespace {

// A log shows itself in its first lines.
constexpr std::size_t kLogLinesLookedAt = 64;

bool isRawIqName(const std::string& path) {
  return path.ends_with(".cu8") || path.ends_with(".CU8");
}

// Its groups, if the file is a hex group log.
std::optional<std::uint64_t> logGroups(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::uint64_t groups = 0;
  std::size_t lines = 0;
  while (std::getline(file, line)) {
    const LogLine::Kind kind = parseLogLine(line).kind;
    if (kind == LogLine::Kind::Group || kind == LogLine::Kind::MissingBlock) ++groups;
    if (++lines == kLogLinesLookedAt && groups == 0) return std::nullopt;
  }
  if (groups == 0) return std::nullopt;
  return groups;
}

Recording soundRecording(const SampleInput& input) {
  const double rate = input.sampleRate();
  Recording recording{.kind = RecordingKind::Multiplex,
                      .sampleRate = rate,
                      .channels = input.channels(),
                      .length = input.frames()};
  if (rate < mpx::kMinSampleRate) {
    recording.kind = RecordingKind::Audio;
  } else if (input.channels() == 2) {
    recording.kind = RecordingKind::Iq;
  }
  return recording;
}

}  // namespace

std::variant<Recording, std::string> probeRecording(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return std::string("cannot open: ") + std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::string("is a directory");
  if (isRawIqName(path)) {
    return Recording{.kind = RecordingKind::RawIq,
                     .sampleRate = std::nullopt,
                     .channels = 2,
                     .length = static_cast<std::uint64_t>(status.st_size) / 2};
  }
  auto opened = openSoundFile(path);
  if (const auto* input = std::get_if<std::unique_ptr<SampleInput>>(&opened))
    return soundRecording(**input);
  if (const auto groups = logGroups(path))
    return Recording{.kind = RecordingKind::GroupLog,
                     .sampleRate = std::nullopt,
                     .channels = 0,
                     .length = groups};
  return std::string("neither a sound file nor a hex group log");
}

std::string kindName(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::Iq:
      return "iq";
    case RecordingKind::Multiplex:
      return "multiplex";
    case RecordingKind::Audio:
      return "audio";
    case RecordingKind::RawIq:
      return "raw-iq";
    case RecordingKind::GroupLog:
      break;
  }
  return "log";
}

std::string describeRecording(const std::string& path, const Recording& recording) {
  std::ostringstream text;
  text << "file: " << path << "\nkind: " << kindName(recording.kind) << '\n';
  if (recording.sampleRate) text << "rate: " << std::llround(*recording.sampleRate) << '\n';
  if (recording.channels > 0) text << "channels: " << recording.channels << '\n';
  if (recording.length) text << "length: " << *recording.length << '\n';
  if (recording.length && recording.sampleRate) {
    text << "seconds: " << std::fixed << std::setprecision(3)
         << static_cast<double>(*recording.length) / *recording.sampleRate << '\n';
  }
  return text.str();
}

}  // namespace tavimor::feed
