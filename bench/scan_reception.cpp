// SPDX-License-Identifier: GPL-3.0-or-later
// The scan of every station in a capture at once: a 2.048 MS/s capture of eight stations (levels
// 0 to -30 dB against the strongest, noise 40 dB below it, RDS on the encoders' own clocks, a weak
// station 200 kHz beside a strong one, one on the centre), each station's time to its PI and its
// name; the processor time by the number of stations, through the filter bank and through a mixer
// and decimating filter per station, and liquid-dsp's polyphase filter bank beside them; the
// feeder's memory; and a band scan of 87.5 to 108 MHz, a station every 400 kHz, through the tuner
// the tests register with SoapySDR, in the tuner's own time.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/reception_tally.h"
#include "dsp/liquid.h"
#include "receiver/receiver_chain.h"
#include "scan/band_scan.h"
#include "scan/capture_scan.h"
#include "sdr/soapy_tuner.h"
#include "tests/support/band_signal.h"
#include "tests/support/iq_signal.h"
#include "tests/support/synth_tuner.h"

namespace {

using tavimor::bench::threadSeconds;
using tavimor::scan::StationReport;
using tavimor::testing::BandStation;
namespace synth = tavimor::testing;

constexpr double kRate = 2'048'000.0;
constexpr double kSeconds = 8.0;
// 32 KiB of rtl_sdr's output at a time.
constexpr std::size_t kWrite = 16'384;
constexpr double kNoiseDb = 40.0;

const std::vector<BandStation>& stations() {
  static const std::vector<BandStation> band{
      {.offsetHz = -800'000, .levelDb = 0, .pi = 0xC101, .ps = "STRONG  ", .rdsClockPpm = 60},
      {.offsetHz = -600'000, .levelDb = -20, .pi = 0xC102, .ps = "BESIDE  ", .rdsClockPpm = -45},
      {.offsetHz = -300'000, .levelDb = -10, .pi = 0xC103, .ps = "MIDDLE  ", .rdsClockPpm = 20},
      {.offsetHz = 0, .levelDb = -5, .pi = 0xC104, .ps = "CENTRE  ", .rdsClockPpm = -10},
      {.offsetHz = 200'000, .levelDb = -15, .pi = 0xC105, .ps = "QUIETER ", .rdsClockPpm = 35},
      {.offsetHz = 400'000, .levelDb = -25, .pi = 0xC106, .ps = "WEAK    ", .rdsClockPpm = -70},
      {.offsetHz = 600'000, .levelDb = -30, .pi = 0xC107, .ps = "FAINT   ", .rdsClockPpm = 80},
      {.offsetHz = 850'000, .levelDb = -3, .pi = 0xC108, .ps = "EDGE    ", .rdsClockPpm = -25},
  };
  return band;
}

const std::vector<std::complex<float>>& capture() {
  static const std::vector<std::complex<float>> made = synth::fromUnsigned8(
      synth::toUnsigned8(synth::synthesizeBand(stations(), kRate, kSeconds, kNoiseDb, 17), 0.25));
  return made;
}

void stationTable() {
  tavimor::scan::CaptureScan scan({.sampleRate = kRate, .centreHz = {}, .widestOffsetHz = {}});
  const std::vector<std::complex<float>>& band = capture();
  for (std::size_t at = 0; at < band.size(); at += kWrite)
    scan.process(std::span(band).subspan(at, std::min(kWrite, band.size() - at)));
  const std::vector<StationReport> listed = scan.stations();
  std::printf(
      "\nStations of the capture (%.0f s at %.3f MS/s, noise %.0f dB below the strongest):\n",
      kSeconds, kRate / 1e6, kNoiseDb);
  std::printf(
      "| station | level | SNR listed | listed at | offset error | PI | name | PI after | "
      "name after |\n|---|---|---|---|---|---|---|---|---|\n");
  std::size_t matched = 0;
  for (const BandStation& sent : stations()) {
    const auto found = std::ranges::find_if(listed, [&](const StationReport& report) {
      return std::abs(report.offsetHz - sent.offsetHz) < 30'000.0;
    });
    if (found == listed.end()) {
      std::printf("| %s | %.0f dB | - | not listed | | | | | |\n", sent.ps.c_str(), sent.levelDb);
      continue;
    }
    ++matched;
    const auto seconds = [](const std::optional<double>& at) {
      return at ? std::to_string(*at).substr(0, 4) + " s" : std::string("-");
    };
    std::printf("| %s | %.0f dB | %.1f dB | %+.0f kHz | %.1f kHz | %s | %s | %s | %s |\n",
                sent.ps.c_str(), sent.levelDb, found->snrDb, sent.offsetHz / 1e3,
                std::abs(found->offsetHz - sent.offsetHz) / 1e3,
                found->pi == sent.pi ? "right" : (found->pi ? "WRONG" : "-"),
                found->ps == sent.ps ? "right" : (found->ps ? "WRONG" : "-"),
                seconds(found->piSeconds).c_str(), seconds(found->psSeconds).c_str());
  }
  std::printf("Listed and not on air: %zu\n", listed.size() - matched);
}

// Processor time per second of capture for the stations within `widest` of the centre.
double bankCost(double widest, std::size_t& count) {
  tavimor::scan::CaptureScan scan({.sampleRate = kRate, .centreHz = {}, .widestOffsetHz = widest});
  const std::vector<std::complex<float>>& band = capture();
  const double start = threadSeconds();
  for (std::size_t at = 0; at < band.size(); at += kWrite)
    scan.process(std::span(band).subspan(at, std::min(kWrite, band.size() - at)));
  count = scan.stations().size();
  return (threadSeconds() - start) / kSeconds;
}

// The same stations each through a mixer and a decimating filter of its own.
double mixerCost(double widest) {
  std::vector<tavimor::receiver::ReceiverChain> chains;
  for (const BandStation& station : stations())
    if (std::abs(station.offsetHz) <= widest)
      chains.emplace_back(
          tavimor::receiver::ChainSettings{.kind = tavimor::receiver::SignalKind::Iq,
                                           .sampleRate = kRate,
                                           .offsetHz = station.offsetHz});
  const std::vector<std::complex<float>>& band = capture();
  const double start = threadSeconds();
  for (std::size_t at = 0; at < band.size(); at += kWrite)
    for (tavimor::receiver::ReceiverChain& chain : chains)
      chain.process(std::span(band).subspan(at, std::min(kWrite, band.size() - at)),
                    [](const tavimor::receiver::TimedGroup&) {});
  return (threadSeconds() - start) / kSeconds;
}

// liquid-dsp's polyphase filter bank alone: 16 channels 128 kHz apart at 256 kHz each.
double polyphaseCost() {
  constexpr unsigned kChannels = 16;
  tavimor::dsp::PolyphaseChannelizer bank =
      tavimor::dsp::makePolyphaseChannelizer(kChannels, 12, 50.0);
  std::vector<std::complex<float>> out(kChannels);
  std::vector<std::complex<float>> in = capture();
  const double start = threadSeconds();
  for (std::size_t at = 0; at + kChannels / 2 <= in.size(); at += kChannels / 2)
    firpfbch2_crcf_execute(bank.get(), in.data() + at, out.data());
  return (threadSeconds() - start) / kSeconds;
}

void costTable() {
  std::printf("\nProcessor time per second of capture at %.3f MS/s:\n", kRate / 1e6);
  std::printf(
      "| stations | scan (filter bank) | a mixer and filter each, receivers included |\n"
      "|---|---|---|\n");
  for (const double widest : {100e3, 250e3, 450e3, 924e3}) {
    std::size_t count = 0;
    const double bank = bankCost(widest, count);
    std::printf("| %zu | %.1f ms (%.1f %%) | %.1f ms |\n", count, bank * 1e3, bank * 100.0,
                mixerCost(widest) * 1e3);
  }
  std::printf(
      "liquid-dsp's polyphase filter bank (firpfbch2, 16 channels), analysis alone: %.1f ms\n",
      polyphaseCost() * 1e3);
}

// The feeder scanning the capture from standard input, as rtl_sdr would give it.
void feederMemory() {
  const std::string path = "/tmp/tavimor-bench-scan.cu8";
  const std::vector<std::uint8_t> bytes = synth::toUnsigned8(capture(), 0.25);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const pid_t child = fork();
  if (child == 0) {
    const int input = ::open(path.c_str(), O_RDONLY);
    ::dup2(input, STDIN_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::execl(TAVIMOR_FEED_EXECUTABLE, "tavimor-feed", "--scan", "--rate=2048k", "-", nullptr);
    _exit(127);
  }
  // The child's own peak, read from /proc while it runs: getrusage's would count the pages the
  // child shared with this process between fork and exec.
  int status = 0;
  rusage usage{};
  long peakKib = 0;
  while (::wait4(child, &status, WNOHANG, &usage) == 0) {
    // Before the exec the child is still this process's copy, the capture included.
    std::ifstream proc("/proc/" + std::to_string(child) + "/status");
    bool feeder = false;
    for (std::string line; std::getline(proc, line);) {
      if (line.starts_with("Name:")) feeder = line.find("tavimor-feed") != std::string::npos;
      if (feeder && line.starts_with("VmHWM:"))
        peakKib = std::max(peakKib, std::stol(line.substr(6)));
    }
    ::usleep(20'000);
  }
  ::unlink(path.c_str());
  std::printf(
      "\ntavimor-feed --scan on the capture: exit %d, most memory resident %.1f MiB, "
      "processor %.2f s for %.0f s\n",
      WEXITSTATUS(status), static_cast<double>(peakKib) / 1024.0,
      static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
      kSeconds);
}

void bandScan() {
  synth::SynthBand band;
  std::uint16_t pi = 0xE000;
  for (double hz = 87.5e6; hz <= 108e6 + 1.0; hz += 400e3) {
    char name[9];
    std::snprintf(name, sizeof name, "FM%5.1f ", hz / 1e6);
    band.stations.push_back({.offsetHz = hz,
                             .levelDb = -3.0 * (pi % 5),
                             .pi = pi,
                             .ps = name,
                             .rdsClockPpm = 10.0 * (pi % 7) - 30.0});
    ++pi;
  }
  synth::registerSynthTuner(band);
  auto opened = tavimor::sdr::SoapyTuner::open({.args = "driver=tavimor_synth",
                                                .sampleRate = kRate,
                                                .frequencyHz = 88e6,
                                                .gainDb = {},
                                                .ppm = 0});
  auto& tuner = *std::get<std::unique_ptr<tavimor::sdr::SoapyTuner>>(opened);
  tavimor::scan::BandScan scan(tuner, {});
  std::size_t right = 0;
  std::size_t listed = 0;
  const std::atomic<bool> stop{false};
  scan.run(
      [&](const StationReport& station) {
        ++listed;
        const auto sent = std::ranges::find_if(band.stations, [&](const BandStation& s) {
          return std::abs(s.offsetHz - station.frequencyHz.value_or(0)) < 30e3;
        });
        if (sent != band.stations.end() && station.pi == sent->pi && station.ps == sent->ps)
          ++right;
      },
      stop);
  std::printf(
      "\nBand scan of 87.5 to 108 MHz at %.3f MS/s, %zu stations 400 kHz apart: %zu hops, "
      "%zu listed, %zu with the right PI and name, %.1f s of the tuner's time\n",
      kRate / 1e6, band.stations.size(), scan.centres().size(), listed, right,
      scan.deviceSeconds());
}

}  // namespace

int main() {
  stationTable();
  costTable();
  feederMemory();
  bandScan();
  return 0;
}
