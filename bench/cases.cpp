// In-process costs of a packet, without a window: decoding its group, presenting the station, and
// the whole read as the monitor handles it. The groups are the demo station's, in order.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
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
    reception.handleRead(
        std::string_view(reinterpret_cast<const char*>(packet.data()), packet.size()));
    benchmark::DoNotOptimize(reception.fields().takeChanges());
    next = (next + 1) % packets.size();
  }
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove(statusFile);
}
BENCHMARK(handleRead);

}  // namespace

BENCHMARK_MAIN();
