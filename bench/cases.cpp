// SPDX-License-Identifier: GPL-3.0-or-later
// In-process costs of a packet, without a window: decoding its group, presenting the station, and
// the whole read as the monitor handles it; and the wait of a live group in tavimor-feed. The
// groups are the demo station's, in order.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/reception.h"
#include "decode/decoder.h"
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
pid_t startFeeder(int lines, std::string device) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, lines, STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = TAVIMOR_FEED_EXECUTABLE;
  std::string standardInput = "-";
  char* argv[] = {program.data(), device.data(), standardInput.data(), nullptr};
  pid_t feeder = -1;
  if (posix_spawn(&feeder, argv[0], &files, nullptr, argv, environ) != 0) feeder = -1;
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

// A live group through tavimor-feed as a decoder's pipe brings it: from the write of its hex line
// into the feeder's standard input to the last byte of its packet on a pseudo-terminal.
void liveLineThroughFeeder(benchmark::State& state) {
  int terminal = -1;
  int device = -1;
  int input[2] = {-1, -1};
  if (openpty(&terminal, &device, nullptr, nullptr, nullptr) != 0 || pipe2(input, O_CLOEXEC) != 0) {
    state.SkipWithError("no pseudo-terminal or pipe");
    return;
  }
  fcntl(terminal, F_SETFD, FD_CLOEXEC);
  fcntl(device, F_SETFD, FD_CLOEXEC);
  termios raw{};
  tcgetattr(device, &raw);
  cfmakeraw(&raw);
  tcsetattr(device, TCSANOW, &raw);
  const pid_t feeder = startFeeder(input[0], ttyname(device));
  close(input[0]);

  std::size_t next = 0;
  for (auto _ : state) {
    const tavimor::RdsGroup& group = groups()[next];
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%04X %04X %04X %04X\n", group.a, group.b,
                                     group.c, group.d);
    const auto written = steady_clock::now();
    tavimor::PacketBytes packet{};
    if (write(input[1], line, static_cast<std::size_t>(length)) != length ||
        !readPacket(terminal, packet)) {
      state.SkipWithError("tavimor-feed sent nothing");
      break;
    }
    state.SetIterationTime(duration<double>(steady_clock::now() - written).count());
    next = (next + 1) % groups().size();
  }
  close(input[1]);
  if (feeder > 0) waitpid(feeder, nullptr, 0);
  close(terminal);
  close(device);
}
BENCHMARK(liveLineThroughFeeder)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
