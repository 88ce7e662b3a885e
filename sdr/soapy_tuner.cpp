// SPDX-License-Identifier: GPL-3.0-or-later
#include "sdr/soapy_tuner.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>
#include <SoapySDR/Registry.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace tavimor::sdr {
namespace {

// Each read waits at most this long for samples.
constexpr long kReadTimeoutUs = 100'000;
// A device that delivers nothing for this many reads in a row (three seconds) is gone.
constexpr unsigned kSilentReads = 30;
constexpr std::size_t kReadSamples = 16'384;

// SoapySDR's modules write their chatter to standard error; the feeder and the radio say what
// matters themselves. The errors and warnings logged while a device is looked for and opened are
// kept: a module may say only there why it found no device it could open.
struct LogKeeper {
  std::mutex mutex;
  bool keeping = false;
  std::vector<std::string> kept;
};

LogKeeper& logKeeper() {
  static LogKeeper keeper;
  return keeper;
}

void quietenLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    SoapySDR::registerLogHandler([](const SoapySDRLogLevel level, const char* message) {
      LogKeeper& keeper = logKeeper();
      const std::lock_guard lock(keeper.mutex);
      if (keeper.keeping && level <= SOAPY_SDR_WARNING) keeper.kept.emplace_back(message);
    });
  });
}

// What is logged from its making until take(), on any thread: modules look for devices on threads
// of their own.
class KeptLog {
 public:
  KeptLog() {
    quietenLog();
    const std::lock_guard lock(logKeeper().mutex);
    logKeeper().keeping = true;
    logKeeper().kept.clear();
  }
  ~KeptLog() {
    const std::lock_guard lock(logKeeper().mutex);
    logKeeper().keeping = false;
  }
  KeptLog(const KeptLog&) = delete;
  KeptLog& operator=(const KeptLog&) = delete;

  std::vector<std::string> take() {
    const std::lock_guard lock(logKeeper().mutex);
    return std::exchange(logKeeper().kept, {});
  }
};

std::string lower(std::string text) {
  std::ranges::transform(text, text.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string named(const std::string& args) {
  return args.empty() ? "the device" : "the device '" + args + "'";
}

// What a module's exception on opening says, as a trouble.
DeviceProblem openingProblem(const std::string& args, const std::string& what) {
  const std::string said = lower(what);
  if (said.find("busy") != std::string::npos || said.find("in use") != std::string::npos ||
      said.find("claim") != std::string::npos)
    return {Trouble::Busy, named(args) + " is busy: another program has it (" + what + ")"};
  if (said.find("access") != std::string::npos || said.find("permission") != std::string::npos)
    return {Trouble::NoAccess, named(args) + " may not be opened by this user (" + what +
                                   "): the stick's group is plugdev"};
  return {Trouble::Refused, named(args) + " could not be opened: " + what +
                                " (is it in use, or out of this user's reach?)"};
}

std::string hertz(double value) {
  return std::to_string(std::llround(value));
}

std::string describe(const SoapySDR::Kwargs& found) {
  for (const char* key : {"label", "product", "driver"}) {
    const auto it = found.find(key);
    if (it != found.end()) return it->second;
  }
  return SoapySDR::KwargsToString(found);
}

bool within(const SoapySDR::RangeList& ranges, double value) {
  return std::ranges::any_of(ranges, [&](const SoapySDR::Range& range) {
    return value >= range.minimum() - 0.5 && value <= range.maximum() + 0.5;
  });
}

std::string rangesText(const SoapySDR::RangeList& ranges) {
  std::string text;
  for (const SoapySDR::Range& range : ranges) {
    if (!text.empty()) text += ", ";
    text += hertz(range.minimum());
    if (range.maximum() != range.minimum()) text += " to " + hertz(range.maximum());
  }
  return text;
}

}  // namespace

struct SoapyTuner::Impl {
  SoapySDR::Device* device = nullptr;
  SoapySDR::Stream* stream = nullptr;
  double sampleRate = 0.0;
  double frequencyHz = 0.0;
  double ppm = 0.0;
  bool correctsItself = false;
  unsigned silentReads = 0;

  ~Impl() {
    // A device pulled out may throw from anything.
    try {
      if (stream != nullptr) {
        device->deactivateStream(stream);
        device->closeStream(stream);
      }
    } catch (const std::exception&) {
    }
    try {
      if (device != nullptr) SoapySDR::Device::unmake(device);
    } catch (const std::exception&) {
    }
  }

  // The frequency to ask of a device that cannot correct itself.
  double asked(double hz) const { return correctsItself ? hz : hz * (1.0 + ppm * 1e-6); }
};

std::vector<DeviceListing> listDevices() {
  quietenLog();
  std::vector<DeviceListing> listed;
  for (const SoapySDR::Kwargs& found : SoapySDR::Device::enumerate())
    listed.push_back({describe(found), SoapySDR::KwargsToString(found)});
  return listed;
}

std::vector<std::string> driverKeys() {
  std::vector<std::string> keys;
  for (const auto& [key, find] : SoapySDR::Registry::listFindFunctions())
    keys.push_back(key);
  return keys;
}

SoapyTuner::SoapyTuner(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SoapyTuner::~SoapyTuner() = default;

std::variant<std::unique_ptr<SoapyTuner>, DeviceProblem> SoapyTuner::open(
    const TunerSettings& settings) {
  KeptLog log;
  auto opened = openDevice(settings);
  if (auto* problem = std::get_if<DeviceProblem>(&opened)) problem->logged = log.take();
  return opened;
}

std::variant<std::unique_ptr<SoapyTuner>, DeviceProblem> SoapyTuner::openDevice(
    const TunerSettings& settings) {
  const SoapySDR::KwargsList found = SoapySDR::Device::enumerate(settings.args);
  if (found.empty())
    return DeviceProblem{Trouble::NotFound,
                         settings.args.empty()
                             ? "no tuner found: is it plugged in, and its SoapySDR module "
                               "installed (soapysdr-module-rtlsdr for an RTL-SDR stick)?"
                             : "no tuner matches '" + settings.args + "'"};
  if (found.size() > 1 && settings.args.empty()) {
    std::string names;
    for (const SoapySDR::Kwargs& one : found)
      names += (names.empty() ? "" : "; ") + SoapySDR::KwargsToString(one);
    return DeviceProblem{Trouble::Ambiguous, std::to_string(found.size()) +
                                                 " tuners found: choose one with --device=ARGS (" +
                                                 names + ")"};
  }
  auto impl = std::make_unique<Impl>();
  try {
    impl->device = SoapySDR::Device::make(found.front());
  } catch (const std::exception& error) {
    return openingProblem(settings.args, error.what());
  }
  if (impl->device == nullptr) return openingProblem(settings.args, "no device was made");
  SoapySDR::Device& device = *impl->device;
  try {
    const SoapySDR::RangeList rates = device.getSampleRateRange(SOAPY_SDR_RX, 0);
    if (!rates.empty() && !within(rates, settings.sampleRate))
      return DeviceProblem{Trouble::Unsupported,
                           named(settings.args) + " does not take " + hertz(settings.sampleRate) +
                               " samples a second (it takes " + rangesText(rates) + ")"};
    device.setSampleRate(SOAPY_SDR_RX, 0, settings.sampleRate);
    impl->sampleRate = device.getSampleRate(SOAPY_SDR_RX, 0);
    impl->ppm = settings.ppm;
    impl->correctsItself = device.hasFrequencyCorrection(SOAPY_SDR_RX, 0);
    if (impl->correctsItself) device.setFrequencyCorrection(SOAPY_SDR_RX, 0, settings.ppm);
    impl->stream = device.setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
    if (device.activateStream(impl->stream) != 0)
      return DeviceProblem{Trouble::Gone, named(settings.args) + " would not start streaming"};
  } catch (const std::exception& error) {
    return DeviceProblem{Trouble::Unsupported,
                         named(settings.args) + " refused a setting: " + error.what()};
  }
  auto tuner = std::unique_ptr<SoapyTuner>(new SoapyTuner(std::move(impl)));
  if (!tuner->setGain(settings.gainDb) || !tuner->tune(settings.frequencyHz))
    return *tuner->problem();
  return tuner;
}

double SoapyTuner::sampleRate() const {
  return impl_->sampleRate;
}

double SoapyTuner::frequencyHz() const {
  return impl_->frequencyHz;
}

bool SoapyTuner::tune(double centreHz) {
  try {
    const SoapySDR::RangeList reach = impl_->device->getFrequencyRange(SOAPY_SDR_RX, 0);
    if (!reach.empty() && !within(reach, centreHz)) {
      problem_ =
          DeviceProblem{Trouble::Unsupported, "the tuner does not reach " + hertz(centreHz) +
                                                  " Hz (it reaches " + rangesText(reach) + ")"};
      return false;
    }
    impl_->device->setFrequency(SOAPY_SDR_RX, 0, impl_->asked(centreHz));
    impl_->frequencyHz = centreHz;
    return true;
  } catch (const std::exception& error) {
    problem_ =
        DeviceProblem{Trouble::Gone, std::string("the tuner failed to retune: ") + error.what()};
    return false;
  }
}

bool SoapyTuner::setGain(std::optional<double> gainDb) {
  try {
    SoapySDR::Device& device = *impl_->device;
    const bool automatic = device.hasGainMode(SOAPY_SDR_RX, 0);
    if (!gainDb) {
      if (automatic) device.setGainMode(SOAPY_SDR_RX, 0, true);
      return true;
    }
    if (automatic) device.setGainMode(SOAPY_SDR_RX, 0, false);
    const SoapySDR::Range range = device.getGainRange(SOAPY_SDR_RX, 0);
    if (*gainDb < range.minimum() - 0.5 || *gainDb > range.maximum() + 0.5) {
      problem_ = DeviceProblem{Trouble::Unsupported, "the tuner's gain runs from " +
                                                         hertz(range.minimum()) + " to " +
                                                         hertz(range.maximum()) + " dB"};
      return false;
    }
    device.setGain(SOAPY_SDR_RX, 0, *gainDb);
    return true;
  } catch (const std::exception& error) {
    problem_ = DeviceProblem{Trouble::Unsupported,
                             std::string("the tuner refused the gain: ") + error.what()};
    return false;
  }
}

bool SoapyTuner::read(std::vector<std::complex<float>>& samples) {
  samples.resize(kReadSamples);
  while (true) {
    void* buffers[] = {samples.data()};
    int flags = 0;
    long long timeNs = 0;
    int got = 0;
    try {
      got = impl_->device->readStream(impl_->stream, buffers, samples.size(), flags, timeNs,
                                      kReadTimeoutUs);
    } catch (const std::exception& error) {
      problem_ = DeviceProblem{Trouble::Gone, std::string("the tuner failed: ") + error.what()};
      samples.clear();
      return false;
    }
    if (got > 0) {
      impl_->silentReads = 0;
      samples.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (got == SOAPY_SDR_OVERFLOW) {
      ++overflows_;
      continue;
    }
    if ((got == SOAPY_SDR_TIMEOUT || got == 0) && ++impl_->silentReads < kSilentReads) continue;
    problem_ = DeviceProblem{Trouble::Gone,
                             got == SOAPY_SDR_TIMEOUT || got == 0
                                 ? "the tuner stopped delivering samples: was it pulled out?"
                                 : std::string("the tuner stopped: ") + SoapySDR::errToStr(got) +
                                       " (was it pulled out?)"};
    samples.clear();
    return false;
  }
}

}  // namespace tavimor::sdr
