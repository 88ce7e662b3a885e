// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo station as an FM multiplex recording (FLAC or WAV, 16-bit, one channel), to try
// the multiplex decoder without a receiver.
//
// Usage: tavimor_make_mpx_recording FILE [SECONDS [SNR_DB [RATE_HZ]]] [--no-pilot]
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/mpx_signal.h"
#include "tools/feed/demo_station.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: tavimor_make_mpx_recording FILE [SECONDS [SNR_DB [RATE_HZ]]] "
               "[--no-pilot]\n  FILE ends in .flac or .wav; 30 s, no noise, 171000 Hz unless "
               "given.\n");
  return 2;
}

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavimor;
  std::vector<std::string> args;
  testing::MpxSignalOptions options;
  options.programme = testing::Programme::Stereo;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--no-pilot")
      options.pilot = testing::PilotTone::Absent;
    else
      args.emplace_back(arg);
  }
  if (args.empty() || args.size() > 4) return usage();
  const std::string& path = args[0];
  int format = SF_FORMAT_PCM_16;
  if (endsWith(path, ".flac"))
    format |= SF_FORMAT_FLAC;
  else if (endsWith(path, ".wav"))
    format |= SF_FORMAT_WAV;
  else
    return usage();
  const double seconds = args.size() > 1 ? std::atof(args[1].c_str()) : 30.0;
  if (args.size() > 2) options.snrDb = std::atof(args[2].c_str());
  if (args.size() > 3) options.sampleRate = std::atof(args[3].c_str());
  if (!(seconds > 0.0) || !(options.sampleRate >= 128'000.0)) return usage();

  const feed::DemoStation station(
      std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now()));
  std::vector<RdsGroup> groups(static_cast<std::size_t>(seconds * feed::kRdsGroupsPerSecond));
  for (std::size_t i = 0; i < groups.size(); ++i)
    groups[i] = station.groupAt(i);
  const testing::MpxSignal signal = testing::synthesizeMpx(groups, options);

  SF_INFO info{};
  info.samplerate = static_cast<int>(options.sampleRate);
  info.channels = 1;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "tavimor_make_mpx_recording: %s: %s\n", path.c_str(),
                 sf_strerror(nullptr));
    return 1;
  }
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const auto count = static_cast<sf_count_t>(signal.samples.size());
  const bool written = sf_writef_float(file, signal.samples.data(), count) == count;
  if (sf_close(file) != 0 || !written) {
    std::fprintf(stderr, "tavimor_make_mpx_recording: %s: could not write\n", path.c_str());
    return 1;
  }
  std::printf("%s: %zu groups of the demo station, %.1f s at %.0f Hz\n", path.c_str(),
              groups.size(), static_cast<double>(count) / options.sampleRate, options.sampleRate);
  return 0;
}
