#include "driver.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "budget_table.h"
#include "child_process.h"
#include "clocks.h"
#include "figures.h"
#include "process_stats.h"
#include "support/temporary_working_directory.h"

namespace tavimor::bench {
namespace {

constexpr int kStartupRuns = 5;

// Budgets.
constexpr double kMinDecodePacketsPerSecond = 1'000'000;
constexpr double kMinWindowPacketsPerSecond = 20'000;
constexpr double kMaxMedianLatencyMs = 1;
constexpr double kMaxP99LatencyMs = 5;
constexpr long kMaxIdleSwitches = 10;
constexpr double kMaxStartupMs = 300;
constexpr double kMaxResidentMB = 60;
constexpr double kMaxGrowthMB = 1;

constexpr double kPacketTimeMs = 1000.0 / kLinePacketsPerSecond;
constexpr double kGroupTimeMs = 1000.0 / kRdsGroupsPerSecond;

double megabytes(double kib) {
  return kib * 1024.0 / 1e6;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string machineDescription() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  std::string model = "unknown CPU";
  while (std::getline(cpuinfo, line)) {
    if (line.starts_with("model name")) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname system{};
  uname(&system);
  return std::to_string(std::thread::hardware_concurrency()) + " cores, " + model + ", " +
         system.sysname + " " + system.release;
}

TableRow throughputRow(std::string figure, double packetsPerSecond, double budget) {
  return {std::move(figure),
          grouped(packetsPerSecond) + " packets/s",
          "≥ " + grouped(budget) + " packets/s",
          grouped(packetsPerSecond / kLinePacketsPerSecond) + "× the line rate",
          grouped(packetsPerSecond / kRdsGroupsPerSecond) + "× the group rate",
          packetsPerSecond >= budget};
}

TableRow latencyRow(std::string figure, double ms, double budgetMs) {
  return {std::move(figure),
          fixed(ms, 3) + " ms",
          "≤ " + fixed(budgetMs, 0) + " ms",
          fixed(100 * ms / kPacketTimeMs, 2) + " % of a packet time (9.4 ms)",
          fixed(100 * ms / kGroupTimeMs, 3) + " % of a group time (87.6 ms)",
          ms <= budgetMs};
}

TableRow idleRow(long switches) {
  const double perSecond = static_cast<double>(switches) / kIdleTime.count();
  return {"idle cost, quiet port for " + std::to_string(kIdleTime.count()) + " s",
          std::to_string(switches) + " voluntary context switches",
          "≤ " + std::to_string(kMaxIdleSwitches),
          fixed(perSecond, 1) + " wake-ups/s = " +
              fixed(100 * perSecond / kLinePacketsPerSecond, 2) + " % of the packet rate",
          fixed(100 * perSecond / kRdsGroupsPerSecond, 1) + " % of the group rate",
          switches <= kMaxIdleSwitches};
}

TableRow startupRow(double ms) {
  return {"start-up until the window is painted (median of " + std::to_string(kStartupRuns) + ")",
          fixed(ms, 0) + " ms",
          "≤ " + fixed(kMaxStartupMs, 0) + " ms",
          fixed(ms / kPacketTimeMs, 1) + " packet times",
          fixed(ms / kGroupTimeMs, 1) + " group times",
          ms <= kMaxStartupMs};
}

TableRow residentRow(double kib) {
  return {"memory: resident set after start",
          fixed(megabytes(kib), 1) + " MB",
          "≤ " + fixed(kMaxResidentMB, 0) + " MB",
          "—",
          "—",
          megabytes(kib) <= kMaxResidentMB};
}

TableRow growthRow(double kib) {
  const double mb = megabytes(kib);
  const double lineHours = kWindowPackets / kLinePacketsPerSecond / 3600;
  const double rdsHours = kWindowPackets / kRdsGroupsPerSecond / 3600;
  return {"memory: growth over " + grouped(kWindowPackets) + " packets",
          fixed(mb, 2) + " MB",
          "≤ " + fixed(kMaxGrowthMB, 0) + " MB",
          "over " + fixed(lineHours, 1) + " h of packets at the line rate",
          "over " + fixed(rdsHours, 1) + " h of RDS",
          mb <= kMaxGrowthMB};
}

Results measure(const std::string& figure) {
  std::cerr << "measuring " << figure << "...\n";
  return runFigure({"--figure", figure});
}

// To stderr, so that what woke can be told apart if the figure is ever off.
void reportSwitchesByThread(const std::vector<ThreadSwitches>& before,
                            const std::vector<ThreadSwitches>& after) {
  for (const ThreadSwitches& thread : after) {
    const auto earlier = std::find_if(before.begin(), before.end(), [&](const ThreadSwitches& old) {
      return old.tid == thread.tid;
    });
    const long switches = thread.voluntary - (earlier != before.end() ? earlier->voluntary : 0);
    std::cerr << "  thread " << thread.tid << " (" << thread.name << "): " << switches
              << " voluntary context switches\n";
  }
}

// Counted from outside, so that the count needs no timer inside the idle program.
long measureIdleSwitches() {
  std::cerr << "measuring idle cost for " << kIdleTime.count() << " s...\n";
  ChildProcess child({"--figure", "idle"});
  if (child.readLine() != "ready") throw std::runtime_error("the idle window did not start");
  const std::vector<ThreadSwitches> before = voluntarySwitches(child.pid());
  std::this_thread::sleep_for(kIdleTime);
  const std::vector<ThreadSwitches> after = voluntarySwitches(child.pid());
  child.terminate();
  reportSwitchesByThread(before, after);
  return totalOf(after) - totalOf(before);
}

std::vector<Results> measureStartups() {
  std::vector<Results> runs;
  for (int i = 0; i < kStartupRuns; ++i) {
    std::cerr << "measuring start-up, run " << i + 1 << " of " << kStartupRuns << "...\n";
    const std::string spawnedAt = std::to_string(monotonicNow().count());
    runs.push_back(runFigure({"--figure", "startup", spawnedAt}));
  }
  return runs;
}

std::vector<double> column(const std::vector<Results>& runs, const std::string& name) {
  std::vector<double> values;
  for (const Results& run : runs)
    values.push_back(run.at(name));
  return values;
}

// The first three figures of /proc/loadavg: other work on the machine shows in the wall clock.
std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

struct Measurements {
  std::string loadBefore;
  std::string loadAfter;
  Results decode;
  Results window;
  Results latency;
  long idleSwitches = 0;
  std::vector<Results> startups;
};

Measurements measureAll() {
  Measurements measured;
  measured.loadBefore = loadAverage();
  measured.decode = measure("decode");
  measured.window = measure("window");
  measured.latency = measure("latency");
  measured.idleSwitches = measureIdleSwitches();
  measured.startups = measureStartups();
  measured.loadAfter = loadAverage();
  return measured;
}

std::vector<TableRow> tableRows(const Measurements& measured) {
  const Results& window = measured.window;
  const Results& latency = measured.latency;
  return {
      throughputRow("decode throughput (CPU time, median round), receive handler on the model",
                    measured.decode.at("packets_per_cpu_second"), kMinDecodePacketsPerSecond),
      throughputRow("window throughput (CPU time, median round), event loop run per packet",
                    window.at("packets_per_cpu_second"), kMinWindowPacketsPerSecond),
      latencyRow("latency, pty write until painted, median", latency.at("median_us") / 1000,
                 kMaxMedianLatencyMs),
      latencyRow("latency, 99th percentile", latency.at("p99_us") / 1000, kMaxP99LatencyMs),
      idleRow(measured.idleSwitches),
      startupRow(median(column(measured.startups, "startup_ms"))),
      residentRow(median(column(measured.startups, "rss_kib"))),
      growthRow(window.at("rss_after_kib") - window.at("rss_before_kib")),
  };
}

std::string milliseconds(const Results& results, const std::string& microsecondsName) {
  return fixed(results.at(microsecondsName) / 1000, 3) + " ms";
}

std::string megabytesBetween(const Results& results, const std::string& before,
                             const std::string& after) {
  return fixed(megabytes(results.at(after) - results.at(before)), 2) + " MB";
}

void printNotes(const Measurements& measured, std::ostream& out) {
  out << "Throughput, median round by the wall clock: decode "
      << grouped(measured.decode.at("packets_per_second")) << " packets/s, window "
      << grouped(measured.window.at("packets_per_second"))
      << " packets/s; slowest round by CPU time: decode "
      << grouped(measured.decode.at("slowest_round_per_cpu_second")) << ", window "
      << grouped(measured.window.at("slowest_round_per_cpu_second"))
      << " packets/s. Load average before and after the run: " << measured.loadBefore << " / "
      << measured.loadAfter << ".\n";
  const Results& latency = measured.latency;
  out << "Latency over " << kLatencyPackets << " packets: until painted max "
      << milliseconds(latency, "max_us") << "; until the fields are set median "
      << milliseconds(latency, "set_median_us") << ", 99th percentile "
      << milliseconds(latency, "set_p99_us") << "; " << latency.at("mismatches")
      << " packets shown differently from the model.\n";
  const Results& window = measured.window;
  out << "Memory growth: " << megabytesBetween(window, "rss_before_kib", "rss_warm_kib")
      << " in the first " << grouped(kWindowPacketsPerRound) << " packets, "
      << megabytesBetween(window, "rss_warm_kib", "rss_after_kib") << " in the rest; of it "
      << megabytesBetween(window, "anonymous_before_kib", "anonymous_after_kib")
      << " heap and stacks, the rest library pages used for the first time.\n";
  out << "Start-up runs:";
  for (const double ms : column(measured.startups, "startup_ms"))
    out << ' ' << fixed(ms, 0) << " ms";
  out << '\n';
}

}  // namespace

int runDriver() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The program writes traffic.txt into its working directory; this keeps it out of the user's.
  const testing::TemporaryWorkingDirectory scratch;
  // Private to us like a session's runtime directory, which Qt asks for when there is none.
  ::setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 0);
  const Measurements measured = measureAll();
  const std::vector<TableRow> rows = tableRows(measured);

  std::cout << "Machine: " << machineDescription() << "\n\n";
  printTable(rows, std::cout);
  std::cout << '\n';
  printNotes(measured, std::cout);

  const bool allWithin =
      std::all_of(rows.begin(), rows.end(), [](const TableRow& row) { return row.withinBudget; });
  return allWithin && measured.latency.at("mismatches") == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace tavimor::bench
