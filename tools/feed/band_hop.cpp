// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/band_hop.h"

#include "scan/band_scan.h"
#include "sdr/soapy_tuner.h"
#include "tools/feed/messages.h"
#include "tools/feed/scan_report.h"

namespace tavimor::feed {
namespace {

constexpr int kExitError = 1;

std::string deviceName(const DeviceChoice& device) {
  return device.args.empty() ? "--device" : "--device=" + device.args;
}

std::variant<std::unique_ptr<sdr::SoapyTuner>, std::string> openTuner(const DeviceChoice& device,
                                                                      double rate,
                                                                      double frequencyHz) {
  auto opened = sdr::SoapyTuner::open({.args = device.args,
                                       .sampleRate = rate,
                                       .frequencyHz = frequencyHz,
                                       .gainDb = device.gainDb,
                                       .ppm = device.ppm});
  if (auto* problem = std::get_if<sdr::DeviceProblem>(&opened)) return problem->message;
  return std::move(std::get<std::unique_ptr<sdr::SoapyTuner>>(opened));
}

// The tuner's samples as a sample input: I and Q interleaved, live.
class DeviceInput final : public SampleInput {
 public:
  DeviceInput(std::unique_ptr<sdr::SoapyTuner> tuner, const std::atomic<bool>& stop)
      : tuner_(std::move(tuner)), stop_(stop) {}

  double sampleRate() const override { return tuner_->sampleRate(); }
  unsigned channels() const override { return 2; }
  bool live() const override { return true; }

  void read(std::vector<float>& samples) override {
    samples.clear();
    if (stop_ || !tuner_->read(iq_)) return;
    samples.resize(2 * iq_.size());
    for (std::size_t i = 0; i < iq_.size(); ++i) {
      samples[2 * i] = iq_[i].real();
      samples[2 * i + 1] = iq_[i].imag();
    }
  }

  std::optional<std::string> error() const override {
    if (const auto& problem = tuner_->problem()) return problem->message;
    return std::nullopt;
  }

 private:
  std::unique_ptr<sdr::SoapyTuner> tuner_;
  const std::atomic<bool>& stop_;
  std::vector<std::complex<float>> iq_;
};

}  // namespace

int hopBand(const ScanRequest& request, std::ostream& out, std::ostream& err,
            const std::atomic<bool>& stop) {
  const DeviceChoice& device = *request.device;
  auto opened = openTuner(device, request.rate.value_or(kDefaultScanDeviceRate), request.fromHz);
  if (const auto* problem = std::get_if<std::string>(&opened)) {
    err << problemLine(deviceName(device), *problem);
    return kExitError;
  }
  sdr::SoapyTuner& tuner = *std::get<std::unique_ptr<sdr::SoapyTuner>>(opened);
  scan::BandScan band(tuner, {.fromHz = request.fromHz, .toHz = request.toHz});
  bool headed = request.json;
  const bool fine = band.run(
      [&](const scan::StationReport& station) {
        if (!headed) out << scanTableHeader(true);
        headed = true;
        out << (request.json ? scanJsonLine(station) : scanTableRow(station, true)) << std::flush;
      },
      stop);
  if (!fine) {
    err << problemLine(deviceName(device),
                       tuner.problem() ? tuner.problem()->message : "the tuner failed");
    return kExitError;
  }
  return 0;
}

std::variant<std::unique_ptr<SampleInput>, std::string> openDeviceInput(
    const IqInput& input, const std::atomic<bool>& stop) {
  auto opened =
      openTuner(*input.device, input.rate.value_or(kDefaultIqSampleRate), input.frequencyHz);
  if (auto* problem = std::get_if<std::string>(&opened)) return *problem;
  return std::make_unique<DeviceInput>(
      std::move(std::get<std::unique_ptr<sdr::SoapyTuner>>(opened)), stop);
}

}  // namespace tavimor::feed
