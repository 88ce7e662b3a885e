#include <QApplication>
#include <QByteArray>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "clocks.h"
#include "figures.h"
#include "process_stats.h"
#include "program_under_test.h"
#include "receive_handler.h"
#include "station_mix.h"

namespace tavimor::bench {
namespace {

// Long enough to hold several RadioText changes and a traffic announcement, short enough to
// stay in the cache.
constexpr std::size_t kStationCycle = 1U << 16;

// Wall-clock time and the CPU time of the whole process. On a machine shared with other work
// the wall clock measures the neighbours too; CPU time is what the packets cost.
class Stopwatch {
 public:
  double cpuRate(std::size_t packets) const { return rate(packets, processCpuTime() - cpuStart_); }
  double wallRate(std::size_t packets) const { return rate(packets, monotonicNow() - wallStart_); }

 private:
  static double rate(std::size_t packets, std::chrono::duration<double> elapsed) {
    return static_cast<double>(packets) / elapsed.count();
  }

  std::chrono::nanoseconds wallStart_ = monotonicNow();
  std::chrono::nanoseconds cpuStart_ = processCpuTime();
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The packets go in rounds, and the median round counts, so that a burst of other work on the
// machine moves one round rather than the figure. The first round is a warm-up and not counted.
class Rounds {
 public:
  template <typename Feed>
  void run(std::size_t rounds, std::size_t packetsPerRound, Feed feed) {
    for (std::size_t round = 0; round < rounds; ++round) {
      const Stopwatch stopwatch;
      for (std::size_t i = 0; i < packetsPerRound; ++i)
        feed(round * packetsPerRound + i);
      if (round == 0) continue;
      cpuRates_.push_back(stopwatch.cpuRate(packetsPerRound));
      wallRates_.push_back(stopwatch.wallRate(packetsPerRound));
    }
  }

  void report() const {
    std::cout << "packets_per_cpu_second " << median(cpuRates_) << '\n'
              << "packets_per_second " << median(wallRates_) << '\n'
              << "slowest_round_per_cpu_second "
              << *std::min_element(cpuRates_.begin(), cpuRates_.end()) << '\n';
  }

 private:
  std::vector<double> cpuRates_;
  std::vector<double> wallRates_;
};

}  // namespace

int measureDecodeThroughput() {
  const std::vector<std::string> packets = stationPackets(kStationCycle);
  DecoderState state;
  DisplayFields fields;
  const StatusFile statusFile;

  Rounds rounds;
  rounds.run(kDecodeRounds, kDecodePacketsPerRound, [&](std::size_t index) {
    handleRead(packets[index % kStationCycle], state, fields, statusFile);
  });
  rounds.report();
  return 0;
}

int measureWindowThroughput() {
  std::vector<QByteArray> reads;
  reads.reserve(kStationCycle);
  for (const std::string& packet : stationPackets(kStationCycle))
    reads.push_back(QByteArray::fromStdString(packet));

  ProgramUnderTest program;
  program.showWindow();
  const pid_t self = getpid();
  const long rssBefore = residentKiB(self);
  const long anonymousBefore = residentAnonymousKiB(self);
  long rssWarm = 0;

  Rounds rounds;
  rounds.run(kWindowRounds, kWindowPacketsPerRound, [&](std::size_t index) {
    program.frm().MSComm1_OnComm(reads[index % kStationCycle]);
    QApplication::processEvents();
    if (index + 1 == kWindowPacketsPerRound) rssWarm = residentKiB(self);
  });
  rounds.report();

  std::cout << "rss_before_kib " << rssBefore << '\n'
            << "rss_warm_kib " << rssWarm << '\n'
            << "rss_after_kib " << residentKiB(self) << '\n'
            << "anonymous_before_kib " << anonymousBefore << '\n'
            << "anonymous_after_kib " << residentAnonymousKiB(self) << '\n';
  return 0;
}

}  // namespace tavimor::bench
