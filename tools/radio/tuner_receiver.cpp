// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/tuner_receiver.h"

#include <chrono>
#include <cmath>
#include <complex>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "receiver/receiver_chain.h"
#include "scan/band_scan.h"
#include "scan/capture_scan.h"
#include "sdr/soapy_tuner.h"
#include "tools/radio/band_survey.h"
#include "tools/radio/capture_report.h"
#include "tools/radio/radio_options.h"
#include "tools/radio/station_tracker.h"
#include "tools/radio/stick_trouble.h"
#include "tools/radio/threaded_receiver.h"

namespace tavimor::radio {
namespace {

using Clock = std::chrono::steady_clock;
// The widest capture a stick holds steady: a scan takes few hops, and the neighbours of the
// station tuned to are listed beside it.
constexpr double kStickRate = 2'048'000.0;
// A capture looked at this long lists every station in it: one it lacks is gone.
constexpr double kCompleteSeconds = 4.0;
const scan::BandScanSettings kBand{};

std::vector<TunerDevice> devicesFound() {
  std::vector<TunerDevice> devices;
  for (const sdr::DeviceListing& listed : sdr::listDevices())
    devices.push_back({listed.label, listed.args});
  return devices;
}

class TunerReceiver final : public ThreadedReceiver {
 public:
  explicit TunerReceiver(StickSettings settings)
      : settings_(std::move(settings)),
        plan_(scan::planHops(kStickRate, kBand)),
        survey_(plan_.centres.front() - plan_.shareHz / 2,
                plan_.centres.back() + plan_.shareHz / 2),
        tunedHz_(settings_.frequencyHz) {}
  ~TunerReceiver() override { stop(); }
  TunerReceiver(const TunerReceiver&) = delete;
  TunerReceiver& operator=(const TunerReceiver&) = delete;

  std::string description() const override {
    const std::scoped_lock lock(mutex_);
    std::ostringstream text;
    text << (settings_.device.empty() ? "the stick" : "the tuner " + settings_.device) << " (";
    if (settings_.gainDb)
      text << "gain " << *settings_.gainDb << " dB";
    else
      text << "automatic gain";
    if (settings_.ppm != 0) text << ", correction " << settings_.ppm << " ppm";
    text << ')';
    return text.str();
  }
  bool tunable() const override { return true; }
  std::optional<double> tunedHz() const override {
    const std::scoped_lock lock(mutex_);
    return tunedHz_;
  }
  bool onAir() const override { return true; }

  // After trouble, asking for a station or a scan tries the tuner again.
  void tune(double hz) override {
    ask(Request::Tune, hz);
    if (!running()) restart();
  }
  void scanBand() override {
    ask(Request::Scan, std::nullopt);
    if (!running()) restart();
  }
  void retry(const std::string& device) override {
    stop();
    {
      const std::scoped_lock lock(mutex_);
      settings_.device = device;
      request_ = Request::None;
    }
    restart();
  }

 private:
  enum class Request { None, Tune, Scan };
  // How a scan or the reception of a station ended.
  enum class Outcome { Stopped, Failed, Asked, Scanned };

  void ask(Request request, std::optional<double> hz) {
    const std::scoped_lock lock(mutex_);
    request_ = request;
    tunedHz_ = hz;
  }

  Request takeRequest() {
    const std::scoped_lock lock(mutex_);
    return std::exchange(request_, Request::None);
  }

  bool asked() const {
    const std::scoped_lock lock(mutex_);
    return request_ != Request::None;
  }

  void run(ReceiverListener& listener) override {
    StickSettings settings;
    {
      const std::scoped_lock lock(mutex_);
      settings = settings_;
    }
    listener.devicesFound(devicesFound());
    auto opened = sdr::SoapyTuner::open({.args = settings.device,
                                         .sampleRate = kStickRate,
                                         .frequencyHz = tunedHz().value_or(plan_.centres.front()),
                                         .gainDb = settings.gainDb,
                                         .ppm = static_cast<double>(settings.ppm)});
    if (const auto* problem = std::get_if<sdr::DeviceProblem>(&opened))
      return fail(listener, *problem, settings.device);
    sdr::SoapyTuner& tuner = *std::get<std::unique_ptr<sdr::SoapyTuner>>(opened);
    bool scanning = false;
    while (!stop_) {
      const std::optional<double> station = tunedHz();
      if (!station && !scanning) {
        announced_ = false;
        listener.receptionChanged({});
        listener.said("scanning the band from " + frequencyText(kBand.fromHz) + " to " +
                          frequencyText(kBand.toHz) + ": pick a station in the list at any time",
                      false);
      }
      scanning = !station;
      const Outcome outcome = station ? watch(tuner, *station, listener) : scan(tuner, listener);
      if (outcome == Outcome::Stopped) return;
      if (outcome == Outcome::Failed) return fail(listener, *tuner.problem(), settings.device);
      if (outcome == Outcome::Asked) takeRequest();
    }
  }

  void fail(ReceiverListener& listener, const sdr::DeviceProblem& problem,
            const std::string& device) {
    listener.said(explainDeviceProblem(problem, device, lookAround()), true);
    listener.ended(true);
  }

  // A retuned tuner delivers the frequency before for a moment: let go of it.
  bool settle(sdr::SoapyTuner& tuner) {
    for (double seconds = 0; seconds < scan::kSettleSeconds && !stop_;
         seconds += static_cast<double>(samples_.size()) / kStickRate) {
      if (!tuner.read(samples_)) return false;
    }
    return true;
  }

  // One pass over the band, hop by hop, until a station is picked.
  Outcome scan(sdr::SoapyTuner& tuner, ReceiverListener& listener) {
    scan::CaptureScan capture({.sampleRate = kStickRate,
                               .centreHz = plan_.centres.front(),
                               .widestOffsetHz = std::nullopt});
    for (const double centre : plan_.centres) {
      const ScanHop part{centre - plan_.shareHz / 2, centre + plan_.shareHz / 2};
      if (!tuner.tune(centre) || !settle(tuner)) return stop_ ? Outcome::Stopped : Outcome::Failed;
      capture.retune(
          {.sampleRate = kStickRate, .centreHz = centre, .widestOffsetHz = plan_.shareHz / 2});
      auto reported = Clock::now();
      while (!scan::dwellEnded(capture)) {
        if (stop_) return Outcome::Stopped;
        if (asked()) {
          // The hop's stations found so far stay listed.
          listHop(capture, centre, part, false, listener);
          return Outcome::Asked;
        }
        if (!tuner.read(samples_)) return Outcome::Failed;
        capture.process(samples_);
        if (Clock::now() - reported >= kReportInterval) {
          reported = Clock::now();
          listHop(capture, centre, part, false, listener);
        }
      }
      listHop(capture, centre, part, true, listener);
    }
    if (!announced_) {
      announced_ = true;
      const std::size_t found = survey_.stations(std::nullopt).size();
      listener.said("the band is scanned: " + std::to_string(found) +
                        (found == 1 ? " station" : " stations") + " found; pick one in the list",
                    false);
    }
    return Outcome::Scanned;
  }

  // What a hop of the scan has found so far: the list, and the picture with the hop marked.
  void listHop(const scan::CaptureScan& capture, double centre, const ScanHop& part, bool complete,
               ReceiverListener& listener) {
    std::vector<Station> found;
    for (const scan::StationReport& report : capture.stations())
      found.push_back(stationOf(report, centre));
    survey_.take(part, found, complete);
    survey_.paint(part, capture.picture(), centre);
    scanned_ = true;
    listener.bandChanged(survey_.picture(part));
    listener.stationsChanged(survey_.stations(std::nullopt));
  }

  // The station at hz, received for the monitor with its neighbours in the capture listed, until
  // a scan is asked for; other stations are tuned to on the way, within the capture without
  // touching the tuner.
  Outcome watch(sdr::SoapyTuner& tuner, double hz, ReceiverListener& listener) {
    double centre = hz;
    if (!tuner.tune(centre) || !settle(tuner)) return stop_ ? Outcome::Stopped : Outcome::Failed;
    receiver::ReceiverChain chain({receiver::SignalKind::Iq, kStickRate, 0.0});
    scan::CaptureScan capture(
        {.sampleRate = kStickRate, .centreHz = centre, .widestOffsetHz = std::nullopt});
    StationTracker tracker;
    Station tuned{.frequencyHz = hz, .tuned = true};
    std::vector<RdsGroup> groups;
    const auto keep = [&](const receiver::TimedGroup& timed) {
      if (timed.group.complete()) groups.push_back(timed.group.group());
      if (tracker.take(timed.group.blocks)) tracker.fill(tuned);
    };
    auto reported = Clock::now();
    while (!stop_) {
      const Request request = takeRequest();
      if (request == Request::Scan) return Outcome::Asked;
      if (request == Request::Tune) {
        hz = *tunedHz();
        if (std::abs(hz - centre) > kStickRate / 2 - kChannelHalfWidthHz) {
          centre = hz;
          if (!tuner.tune(centre) || !settle(tuner))
            return stop_ ? Outcome::Stopped : Outcome::Failed;
          capture.retune(
              {.sampleRate = kStickRate, .centreHz = centre, .widestOffsetHz = std::nullopt});
        }
        chain.retune(hz - centre);
        tracker.reset();
        tuned = Station{.frequencyHz = hz, .tuned = true};
      }
      if (!tuner.read(samples_)) return Outcome::Failed;
      capture.process(samples_);
      chain.process(std::span<const std::complex<float>>(samples_), keep);
      for (const RdsGroup& group : groups)
        listener.groupReceived(group);
      groups.clear();
      if (Clock::now() - reported >= kReportInterval) {
        reported = Clock::now();
        report(chain, capture, centre, tuned, listener);
      }
    }
    return Outcome::Stopped;
  }

  void report(const receiver::ReceiverChain& chain, const scan::CaptureScan& capture, double centre,
              Station& tuned, ReceiverListener& listener) {
    listener.receptionChanged(receptionOf(chain, tuned));
    const std::vector<Station> listed = listStations(capture.stations(), centre, tuned);
    if (!scanned_) {
      listener.bandChanged(pictureOf(capture.picture(), centre));
      listener.stationsChanged(listed);
      return;
    }
    const ScanHop part{centre - kStickRate / 2 + kChannelHalfWidthHz,
                       centre + kStickRate / 2 - kChannelHalfWidthHz};
    survey_.take(part, listed, capture.seconds() >= kCompleteSeconds);
    survey_.paint(part, capture.picture(), centre);
    listener.bandChanged(survey_.picture(std::nullopt));
    listener.stationsChanged(survey_.stations(tuned.frequencyHz));
  }

  mutable std::mutex mutex_;
  StickSettings settings_;
  const scan::HopPlan plan_;
  BandSurvey survey_;
  // Whether a scan has listed stations: the list and the picture are the band's from then on.
  bool scanned_ = false;
  // Whether the end of the scan's first pass was told.
  bool announced_ = false;
  std::optional<double> tunedHz_;
  Request request_ = Request::None;
  std::vector<std::complex<float>> samples_;
};

}  // namespace

std::unique_ptr<Receiver> makeStickReceiver(const StickSettings& settings) {
  return std::make_unique<TunerReceiver>(settings);
}

}  // namespace tavimor::radio
