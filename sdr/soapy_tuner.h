// SPDX-License-Identifier: GPL-3.0-or-later
// A tuner read through SoapySDR, whatever its make (an RTL-SDR stick, Airspy, HackRF, SDRplay,
// LimeSDR, PlutoSDR: each through its own module): opened by SoapySDR's device arguments, tuned
// and retuned while it streams, read as complex samples at full scale +-1. Trouble (no device, a
// busy one, no access, a rate it does not take, a device pulled out) comes as a value a window
// can show, not only as an exception.
#pragma once

#include <complex>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "scan/band_scan.h"

namespace tavimor::sdr {

enum class Trouble {
  NotFound,     // no device, or none matching the arguments
  Ambiguous,    // several devices and no arguments to choose one
  Busy,         // another program has it
  NoAccess,     // the user may not open it
  Refused,      // it would not open, and its module does not say why: busy, or out of reach
  Unsupported,  // a rate, frequency or setting it does not take
  Gone,         // it stopped delivering: pulled out, or its driver failed
};

struct DeviceProblem {
  Trouble trouble;
  // One line fit to show the user: what is wrong and what to do.
  std::string message;
  // The errors and warnings SoapySDR and the device's module logged while the device was looked
  // for and opened: their own word, where an exception (or none) says less.
  std::vector<std::string> logged{};
};

struct TunerSettings {
  // SoapySDR's device arguments, as "driver=rtlsdr,serial=1"; empty: the only device found.
  std::string args;
  double sampleRate = 2'048'000.0;
  double frequencyHz = 100'000'000.0;
  // None: the tuner's automatic gain.
  std::optional<double> gainDb;
  // The tuner's frequency correction in parts per million.
  double ppm = 0.0;
};

// A device SoapySDR finds: how to name it to the user, and the arguments that open it.
struct DeviceListing {
  std::string label;
  std::string args;
};
std::vector<DeviceListing> listDevices();
// The drivers SoapySDR has a module for, as "rtlsdr"; once a device has been looked for.
std::vector<std::string> driverKeys();

class SoapyTuner final : public scan::Tuner {
 public:
  static std::variant<std::unique_ptr<SoapyTuner>, DeviceProblem> open(
      const TunerSettings& settings);
  ~SoapyTuner() override;
  SoapyTuner(const SoapyTuner&) = delete;
  SoapyTuner& operator=(const SoapyTuner&) = delete;
  SoapyTuner(SoapyTuner&&) = delete;
  SoapyTuner& operator=(SoapyTuner&&) = delete;

  // As the device set it.
  double sampleRate() const override;
  double frequencyHz() const;
  bool tune(double centreHz) override;
  // None: automatic.
  bool setGain(std::optional<double> gainDb);
  bool read(std::vector<std::complex<float>>& samples) override;
  // The trouble that made the last call fail.
  const std::optional<DeviceProblem>& problem() const { return problem_; }
  // Samples the device dropped because they were not read in time.
  std::uint64_t overflows() const { return overflows_; }

 private:
  struct Impl;
  explicit SoapyTuner(std::unique_ptr<Impl> impl);
  static std::variant<std::unique_ptr<SoapyTuner>, DeviceProblem> openDevice(
      const TunerSettings& settings);

  std::unique_ptr<Impl> impl_;
  std::optional<DeviceProblem> problem_;
  std::uint64_t overflows_ = 0;
};

}  // namespace tavimor::sdr
