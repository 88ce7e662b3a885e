// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/scan_run.h"

#include <unistd.h>

#include <cmath>
#include <complex>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "fm/fm_receiver.h"
#include "scan/capture_scan.h"
#include "tools/feed/band_hop.h"
#include "tools/feed/messages.h"
#include "tools/feed/sample_input.h"
#include "tools/feed/scan_report.h"

namespace tavimor::feed {
namespace {

constexpr int kExitError = 1;

std::string samplesPerSecond(double rate) {
  return std::to_string(std::llround(rate));
}

// Why the input cannot be scanned, if it cannot.
std::optional<std::string> unscannable(const SampleInput& input) {
  if (input.channels() != 2)
    return "holds " + counted(input.channels(), "channel") + ", and I/Q takes two, I then Q";
  const double rate = input.sampleRate();
  if (rate < fm::kMinIqRate)
    return "its " + samplesPerSecond(rate) +
           " samples a second are too narrow to hold a station (a station takes 200 kHz; at "
           "least " +
           samplesPerSecond(fm::kMinIqRate) + " are needed)";
  if (rate > fm::kMaxIqRate)
    return "its " + samplesPerSecond(rate) +
           " samples a second are more than the receiver takes (" +
           samplesPerSecond(fm::kMaxIqRate) + " at most)";
  return std::nullopt;
}

void printStations(const std::vector<scan::StationReport>& stations, bool json, bool withFrequency,
                   std::ostream& out) {
  if (!json && !stations.empty()) out << scanTableHeader(withFrequency);
  for (const scan::StationReport& station : stations)
    out << (json ? scanJsonLine(station) : scanTableRow(station, withFrequency));
  out << std::flush;
}

int scanCapture(const ScanRequest& request, std::ostream& out, std::ostream& err,
                const std::atomic<bool>& stop) {
  std::unique_ptr<SampleInput> input;
  if (request.path == "-") {
    input = openRawSamples(STDIN_FILENO, RawFormat::Unsigned8Iq,
                           request.rate.value_or(kDefaultIqSampleRate), stop);
  } else {
    auto opened = openSoundFile(request.path);
    if (const auto* problem = std::get_if<std::string>(&opened)) {
      err << problemLine(request.path, *problem);
      return kExitError;
    }
    input = std::move(std::get<std::unique_ptr<SampleInput>>(opened));
  }
  const std::string name = request.path == "-" ? "(standard input)" : request.path;
  if (const auto problem = unscannable(*input)) {
    err << problemLine(name, *problem);
    return kExitError;
  }
  scan::CaptureScan scan({.sampleRate = input->sampleRate(),
                          .centreHz = request.centreHz,
                          .widestOffsetHz = std::nullopt});
  std::vector<float> frames;
  std::vector<std::complex<float>> band;
  while (!stop) {
    input->read(frames);
    if (frames.empty()) break;
    band.resize(frames.size() / 2);
    for (std::size_t i = 0; i < band.size(); ++i)
      band[i] = {frames[2 * i], frames[2 * i + 1]};
    scan.process(band);
  }
  const std::vector<scan::StationReport> stations = scan.stations();
  printStations(stations, request.json, request.centreHz.has_value(), out);
  if (const auto error = input->error()) {
    err << problemLine(name, *error);
    return kExitError;
  }
  if (stations.empty()) {
    std::ostringstream seconds;
    seconds << std::fixed << std::setprecision(1) << scan.seconds();
    err << kProgramName << ": no station found in " << seconds.str() << " s of I/Q\n";
  }
  return 0;
}

}  // namespace

int runScan(const ScanRequest& request, std::ostream& out, std::ostream& err,
            const std::atomic<bool>& stop) {
  if (request.device) return hopBand(request, out, err, stop);
  return scanCapture(request, out, err, stop);
}

}  // namespace tavimor::feed
