// SPDX-License-Identifier: GPL-3.0-or-later
// In-process costs of a packet, without a window: decoding its group, presenting the station, and
// the whole read as the monitor handles it; and the wait of a live group in tavimor-feed, from a
// hex line and from an FM multiplex signal. The groups are the demo station's, in order.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/reception.h"
#include "decode/decoder.h"
#include "tests/support/mpx_signal.h"
#include "tools/feed/demo_station.h"
#include "ui/station_presenter.h"

namespace {

using namespace std::chrono;

// A little over ten minutes of the station: every text, announcement and clock-time group.
std::vector<tavimor::RdsGroup> stationGroups() {
  const tavimor::feed::DemoStation station(sys_days{2026y / December / 8} + 9h);
  std::vector<tavimor::RdsGroup> groups(8192);
  for (std::size_t i = 0; i < groups.size(); ++i)
    groups[i] = station.groupAt(i);
  return groups;
}

const std::vector<tavimor::RdsGroup>& groups() {
  static const std::vector<tavimor::RdsGroup> all = stationGroups();
  return all;
}

void decodeGroup(benchmark::State& state) {
  tavimor::Station station;
  std::size_t next = 0;
  for (auto _ : state) {
    tavimor::decodeGroup(groups()[next], station);
    benchmark::DoNotOptimize(station);
    next = (next + 1) % groups().size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(decodeGroup);

// The station after each group, presented into the display fields the window reads.
void presentStation(benchmark::State& state) {
  std::vector<tavimor::Station> stations(groups().size());
  tavimor::Station station;
  for (std::size_t i = 0; i < groups().size(); ++i) {
    tavimor::decodeGroup(groups()[i], station);
    stations[i] = station;
  }
  tavimor::DisplayFields fields;
  std::size_t next = 0;
  for (auto _ : state) {
    tavimor::presentStation(stations[next], fields);
    benchmark::DoNotOptimize(fields.takeChanges());
    next = (next + 1) % stations.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(presentStation);

// A whole read: shown raw and in hex, decoded, traffic followed (traffic.txt rewritten when an
// announcement starts or ends) and presented.
void handleRead(benchmark::State& state) {
  const std::filesystem::path statusFile = std::filesystem::temp_directory_path() /
                                           ("tavimor-bench-" + std::to_string(getpid()) + ".txt");
  std::vector<tavimor::PacketBytes> packets;
  for (const tavimor::RdsGroup& group : groups())
    packets.push_back(tavimor::toPacket(group));
  tavimor::Reception reception{tavimor::StatusFile(statusFile)};
  std::size_t next = 0;
  for (auto _ : state) {
    const tavimor::PacketBytes& packet = packets[next];
    reception.handlePacket(packet);
    benchmark::DoNotOptimize(reception.fields().takeChanges());
    next = (next + 1) % packets.size();
  }
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove(statusFile);
}
BENCHMARK(handleRead);

// tavimor-feed with the read end of a pipe, lines, as its standard input, sending to device; its
// end report is not wanted here.
pid_t startFeeder(int lines, std::string device, std::vector<std::string> options = {}) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, lines, STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = TAVIMOR_FEED_EXECUTABLE;
  std::string standardInput = "-";
  std::vector<char*> argv{program.data()};
  for (std::string& option : options)
    argv.push_back(option.data());
  argv.insert(argv.end(), {device.data(), standardInput.data(), nullptr});
  pid_t feeder = -1;
  if (posix_spawn(&feeder, argv[0], &files, nullptr, argv.data(), environ) != 0) feeder = -1;
  posix_spawn_file_actions_destroy(&files);
  return feeder;
}

// Reads a whole packet, or gives up after a second.
bool readPacket(int terminal, tavimor::PacketBytes& packet) {
  for (std::size_t got = 0; got < packet.size();) {
    pollfd readable{terminal, POLLIN, 0};
    if (poll(&readable, 1, 1000) != 1) return false;
    const ssize_t n = read(terminal, packet.data() + got, packet.size() - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// tavimor-feed writing to a raw pseudo-terminal, with a pipe as its standard input. Ending the
// input ends the feeder; both are waited for when this goes.
class FeederOnTerminal {
 public:
  FeederOnTerminal() = default;
  FeederOnTerminal(const FeederOnTerminal&) = delete;
  FeederOnTerminal& operator=(const FeederOnTerminal&) = delete;
  ~FeederOnTerminal() {
    endInput();
    if (feeder_ > 0) waitpid(feeder_, nullptr, 0);
    close(terminal_);
    close(device_);
  }

  bool start(std::vector<std::string> options) {
    int pipeEnds[2] = {-1, -1};
    if (openpty(&terminal_, &device_, nullptr, nullptr, nullptr) != 0 ||
        pipe2(pipeEnds, O_CLOEXEC) != 0) {
      return false;
    }
    fcntl(terminal_, F_SETFD, FD_CLOEXEC);
    fcntl(device_, F_SETFD, FD_CLOEXEC);
    termios raw{};
    tcgetattr(device_, &raw);
    cfmakeraw(&raw);
    tcsetattr(device_, TCSANOW, &raw);
    feeder_ = startFeeder(pipeEnds[0], ttyname(device_), std::move(options));
    close(pipeEnds[0]);
    input_ = pipeEnds[1];
    return feeder_ > 0;
  }

  // Ends the feeder's input and waits for it to end.
  void finish() {
    endInput();
    if (feeder_ > 0) waitpid(std::exchange(feeder_, -1), nullptr, 0);
  }

  int input() const { return input_; }
  int terminal() const { return terminal_; }

 private:
  void endInput() {
    if (input_ >= 0) close(std::exchange(input_, -1));
  }

  int terminal_ = -1;
  int device_ = -1;
  int input_ = -1;
  pid_t feeder_ = -1;
};

// A live group through tavimor-feed as a decoder's pipe brings it: from the write of its hex line
// into the feeder's standard input to the last byte of its packet on a pseudo-terminal.
void liveLineThroughFeeder(benchmark::State& state) {
  FeederOnTerminal feeder;
  if (!feeder.start({})) {
    state.SkipWithError("no pseudo-terminal or pipe");
    return;
  }
  std::size_t next = 0;
  for (auto _ : state) {
    const tavimor::RdsGroup& group = groups()[next];
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%04X %04X %04X %04X\n", group.a, group.b,
                                     group.c, group.d);
    const auto written = steady_clock::now();
    tavimor::PacketBytes packet{};
    if (write(feeder.input(), line, static_cast<std::size_t>(length)) != length ||
        !readPacket(feeder.terminal(), packet)) {
      state.SkipWithError("tavimor-feed sent nothing");
      break;
    }
    state.SetIterationTime(duration<double>(steady_clock::now() - written).count());
    next = (next + 1) % groups().size();
  }
}
BENCHMARK(liveLineThroughFeeder)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The demo station's groups as an FM multiplex signal at 171 kHz with stereo programme, in signed
// 16-bit samples as rtl_fm writes them; and where each group ends.
struct RawMpx {
  std::vector<std::int16_t> samples;
  std::vector<std::uint64_t> groupEnds;
};

RawMpx rawStation(std::size_t groupCount) {
  const std::vector<tavimor::RdsGroup> sent(groups().begin(),
                                            groups().begin() + static_cast<long>(groupCount));
  tavimor::testing::MpxSignalOptions options;
  options.programme = tavimor::testing::Programme::Stereo;
  const tavimor::testing::MpxSignal signal = tavimor::testing::synthesizeMpx(sent, options);
  RawMpx raw{{}, signal.groupEnds};
  for (const float sample : signal.samples)
    raw.samples.push_back(static_cast<std::int16_t>(std::clamp(sample, -1.0F, 1.0F) * 32767.0F));
  return raw;
}

// Packets as they arrive on the terminal, each with the time its last byte came.
std::vector<steady_clock::time_point> readPacketsUntilQuiet(int terminal) {
  std::vector<steady_clock::time_point> arrivals;
  tavimor::PacketBytes packet{};
  while (readPacket(terminal, packet))
    arrivals.push_back(steady_clock::now());
  return arrivals;
}

// A group through tavimor-feed --mpx as rtl_fm brings it: samples written 4,096 at a time, each
// write when its last sample is on air, from a group's last sample on air to the last byte of its
// packet on a pseudo-terminal. Reports the median and the 90th percentile over 120 groups.
void mpxGroupThroughFeeder(benchmark::State& state) {
  constexpr std::size_t kGroups = 120;
  constexpr std::size_t kWriteSamples = 4096;
  constexpr double kSampleRate = 171'000.0;
  const RawMpx raw = rawStation(kGroups);
  for (auto _ : state) {
    FeederOnTerminal feeder;
    if (!feeder.start({"--mpx"})) {
      state.SkipWithError("no pseudo-terminal or pipe");
      return;
    }
    std::vector<steady_clock::time_point> arrivals;
    std::thread reader([&] { arrivals = readPacketsUntilQuiet(feeder.terminal()); });
    const steady_clock::time_point start = steady_clock::now();
    const auto onAir = [&](std::uint64_t sample) {
      return start + duration_cast<steady_clock::duration>(
                         duration<double>(static_cast<double>(sample) / kSampleRate));
    };
    for (std::size_t first = 0; first < raw.samples.size(); first += kWriteSamples) {
      const std::size_t count = std::min(kWriteSamples, raw.samples.size() - first);
      std::this_thread::sleep_until(onAir(first + count));
      const auto bytes = static_cast<ssize_t>(count * sizeof(std::int16_t));
      if (write(feeder.input(), raw.samples.data() + first, static_cast<std::size_t>(bytes)) !=
          bytes)
        break;
    }
    feeder.finish();
    reader.join();

    // The first groups go by while the decoder finds the blocks: the packets are the last ones.
    if (arrivals.empty() || arrivals.size() > kGroups) {
      state.SkipWithError("tavimor-feed sent no packets, or more than were sent");
      return;
    }
    std::vector<double> delays;
    const std::size_t firstDecoded = kGroups - arrivals.size();
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
      const auto delay = arrivals[i] - onAir(raw.groupEnds[firstDecoded + i]);
      delays.push_back(duration<double, std::milli>(delay).count());
    }
    std::sort(delays.begin(), delays.end());
    state.counters["median_ms"] = delays[delays.size() / 2];
    state.counters["p90_ms"] = delays[delays.size() * 9 / 10];
    state.counters["groups"] = static_cast<double>(delays.size());
    state.SetIterationTime(delays[delays.size() / 2] / 1000.0);
  }
}
BENCHMARK(mpxGroupThroughFeeder)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
