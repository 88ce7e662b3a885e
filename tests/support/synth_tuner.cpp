// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/synth_tuner.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>
#include <SoapySDR/Registry.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <random>
#include <stdexcept>
#include <thread>

namespace tavimor::testing {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kDeviationHz = 75'000.0;
// Each station's multiplex repeats after this long.
constexpr double kLoopSeconds = 2.0;
constexpr double kAutomaticGainDb = 30.0;

std::mutex registryMutex;
SynthBand currentBand;
SynthTunerLog lastLog;
std::atomic<bool> pluggedIn{true};

// A station on air: its multiplex going round, its carrier's phase.
struct OnAir {
  std::vector<float> multiplex;
  double phase = 0.0;
};

class SynthDevice final : public SoapySDR::Device {
 public:
  SynthDevice(SynthBand band, std::optional<double> vanishSeconds)
      : band_(std::move(band)), vanishSeconds_(vanishSeconds) {}

  std::string getDriverKey() const override { return "tavimor_synth"; }
  std::string getHardwareKey() const override { return "synthesized band"; }
  std::size_t getNumChannels(const int direction) const override {
    return direction == SOAPY_SDR_RX ? 1 : 0;
  }

  SoapySDR::RangeList getSampleRateRange(const int /*direction*/,
                                         const std::size_t /*channel*/) const override {
    return {SoapySDR::Range(900e3, 3.2e6)};
  }
  void setSampleRate(const int /*direction*/, const std::size_t /*channel*/,
                     const double rate) override {
    rate_ = rate;
    onAir_.clear();
    log().sampleRate = rate;
  }
  double getSampleRate(const int /*direction*/, const std::size_t /*channel*/) const override {
    return rate_;
  }

  SoapySDR::RangeList getFrequencyRange(const int /*direction*/,
                                        const std::size_t /*channel*/) const override {
    return {SoapySDR::Range(24e6, 1.7e9)};
  }
  void setFrequency(const int /*direction*/, const std::size_t /*channel*/, const double frequency,
                    const SoapySDR::Kwargs& /*args*/) override {
    centre_ = frequency;
    log().tunings.push_back(frequency);
  }
  double getFrequency(const int /*direction*/, const std::size_t /*channel*/) const override {
    return centre_;
  }
  bool hasFrequencyCorrection(const int /*direction*/,
                              const std::size_t /*channel*/) const override {
    return true;
  }
  void setFrequencyCorrection(const int /*direction*/, const std::size_t /*channel*/,
                              const double ppm) override {
    log().ppm = ppm;
  }

  bool hasGainMode(const int /*direction*/, const std::size_t /*channel*/) const override {
    return true;
  }
  void setGainMode(const int /*direction*/, const std::size_t /*channel*/,
                   const bool automatic) override {
    if (automatic) gainDb_.reset();
    log().gainDb = gainDb_;
  }
  SoapySDR::Range getGainRange(const int /*direction*/,
                               const std::size_t /*channel*/) const override {
    return {0.0, 50.0};
  }
  void setGain(const int /*direction*/, const std::size_t /*channel*/,
               const double value) override {
    gainDb_ = value;
    log().gainDb = value;
  }

  SoapySDR::Stream* setupStream(const int direction, const std::string& format,
                                const std::vector<std::size_t>& /*channels*/,
                                const SoapySDR::Kwargs& /*args*/) override {
    if (direction != SOAPY_SDR_RX || format != SOAPY_SDR_CF32)
      throw std::runtime_error("only CF32 reception");
    return reinterpret_cast<SoapySDR::Stream*>(this);
  }
  void closeStream(SoapySDR::Stream* /*stream*/) override {}
  int activateStream(SoapySDR::Stream* /*stream*/, const int /*flags*/, const long long /*timeNs*/,
                     const std::size_t /*count*/) override {
    return 0;
  }

  int readStream(SoapySDR::Stream* /*stream*/, void* const* buffers, const std::size_t count,
                 int& flags, long long& timeNs, const long /*timeoutUs*/) override {
    flags = 0;
    timeNs = 0;
    if (!pluggedIn || (vanishSeconds_ && static_cast<double>(time_) >= *vanishSeconds_ * rate_))
      return SOAPY_SDR_TIMEOUT;
    auto* out = static_cast<std::complex<float>*>(buffers[0]);
    synthesize(std::span(out, count));
    time_ += count;
    if (band_.paced) {
      started_ = started_.value_or(std::chrono::steady_clock::now());
      std::this_thread::sleep_until(
          *started_ + std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::duration<double>(static_cast<double>(time_) / rate_)));
    }
    log().samplesRead += count;
    return static_cast<int>(count);
  }

 private:
  static SynthTunerLog& log() { return lastLog; }

  void synthesize(std::span<std::complex<float>> out) {
    const double scale =
        0.2 * std::pow(10.0, (gainDb_.value_or(kAutomaticGainDb) - kAutomaticGainDb) / 20.0);
    const double noise = std::sqrt(std::pow(10.0, -band_.noiseDb / 10.0) * rate_ / 200e3 / 2.0);
    std::normal_distribution<float> gaussian(0.0F, static_cast<float>(noise * scale));
    for (std::complex<float>& sample : out)
      sample = {gaussian(random_), gaussian(random_)};
    for (std::size_t s = 0; s < band_.stations.size(); ++s) {
      const BandStation& station = band_.stations[s];
      const double offset = station.offsetHz - centre_;
      if (std::abs(offset) > rate_ / 2.0) {
        onAir_.erase(s);
        continue;
      }
      OnAir& air = onAir_[s];
      if (air.multiplex.empty())
        air.multiplex =
            stationMultiplex(station, rate_, kLoopSeconds, static_cast<std::uint32_t>(s + 1));
      const double amplitude = scale * std::pow(10.0, station.levelDb / 20.0);
      const double turn = kTwoPi * offset / rate_;
      double offsetPhase = std::fmod(turn * static_cast<double>(time_), kTwoPi);
      for (std::size_t n = 0; n < out.size(); ++n) {
        const std::size_t at = (time_ + n) % air.multiplex.size();
        air.phase += kTwoPi * kDeviationHz / rate_ * air.multiplex[at];
        offsetPhase += turn;
        out[n] += std::polar(static_cast<float>(amplitude),
                             static_cast<float>(std::fmod(air.phase + offsetPhase, kTwoPi)));
      }
      air.phase = std::fmod(air.phase, kTwoPi);
    }
  }

  SynthBand band_;
  std::optional<double> vanishSeconds_;
  double rate_ = 1'024'000.0;
  double centre_ = 100e6;
  std::optional<double> gainDb_;
  std::uint64_t time_ = 0;
  std::optional<std::chrono::steady_clock::time_point> started_;
  std::map<std::size_t, OnAir> onAir_;
  std::mt19937 random_{7};
};

SoapySDR::KwargsList findSynth(const SoapySDR::Kwargs& args) {
  const auto driver = args.find("driver");
  if (!pluggedIn || (driver != args.end() && driver->second != "tavimor_synth")) return {};
  if (args.contains("noaccess")) {
    SoapySDR::log(SOAPY_SDR_ERROR, "rtlsdr_get_device_usb_strings(0) failed");
    return {};
  }
  SoapySDR::Kwargs found = args;
  found["driver"] = "tavimor_synth";
  found["label"] = "synthesized band";
  return {found};
}

SoapySDR::Device* makeSynth(const SoapySDR::Kwargs& args) {
  if (args.contains("busy")) throw std::runtime_error("usb_claim_interface: device busy");
  std::optional<double> vanish;
  if (const auto it = args.find("vanish"); it != args.end()) vanish = std::stod(it->second);
  const std::lock_guard lock(registryMutex);
  lastLog = {};
  return new SynthDevice(currentBand, vanish);
}

}  // namespace

void registerSynthTuner(SynthBand band) {
  static const SoapySDR::Registry registry("tavimor_synth", &findSynth, &makeSynth,
                                           SOAPY_SDR_ABI_VERSION);
  const std::lock_guard lock(registryMutex);
  currentBand = std::move(band);
}

void plugSynthTuner(bool in) {
  pluggedIn = in;
}

SynthTunerLog synthTunerLog() {
  const std::lock_guard lock(registryMutex);
  return lastLog;
}

}  // namespace tavimor::testing
