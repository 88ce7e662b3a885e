// SPDX-License-Identifier: GPL-3.0-or-later
// A band scanned by hops of one tuner: tuned to each part of the band in turn, on the open
// device, every station of the capture received at once, each listed as soon as it stands with its
// absolute frequency. A dwell ends once every RDS station in its part has a complete name, or after
// a few seconds.
#pragma once

#include <atomic>
#include <complex>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scan/capture_scan.h"

namespace tavimor::scan {

// A tuner that can be retuned while it streams.
class Tuner {
 public:
  virtual ~Tuner() = default;
  virtual double sampleRate() const = 0;
  // False on trouble, which the tuner itself tells.
  virtual bool tune(double centreHz) = 0;
  // Replaces samples with the next ones, full scale +-1; false on trouble.
  virtual bool read(std::vector<std::complex<float>>& samples) = 0;
};

struct BandScanSettings {
  double fromHz = 87'500'000.0;
  double toHz = 108'000'000.0;
};

// The hops that cover a band with a tuner of this rate: the share of its capture each hop covers,
// and their centres, in turn.
struct HopPlan {
  double shareHz = 0.0;
  std::vector<double> centres;
};
HopPlan planHops(double sampleRate, const BandScanSettings& settings);

// What a tuner delivers just after a retune may still be of the frequency before: this much of it
// is read and let go.
inline constexpr double kSettleSeconds = 0.05;

// A dwell on one hop ends once every station in it has settled, or after a few seconds for
// stations whose RDS is too weak to complete a name.
bool dwellEnded(const CaptureScan& capture);

class BandScan {
 public:
  using StationHandler = std::function<void(const StationReport&)>;

  BandScan(Tuner& tuner, const BandScanSettings& settings);

  // The centres the tuner is tuned to, in turn.
  const std::vector<double>& centres() const { return centres_; }
  // Hops the band once, calling onStation as each station stands. False when the tuner failed
  // on the way: the stations found until then were reported.
  bool run(const StationHandler& onStation, const std::atomic<bool>& stop);
  // Of the tuner's samples read, settling included.
  double deviceSeconds() const;
  // The hop in progress, for a picture of its part of the band. Safe from another thread.
  const CaptureScan& capture() const { return capture_; }

 private:
  bool dwell(double centreHz, const StationHandler& onStation, const std::atomic<bool>& stop);
  void report(const StationReport& station, double centreHz, const StationHandler& onStation);

  Tuner& tuner_;
  double share_ = 0.0;
  std::vector<double> centres_;
  CaptureScan capture_;
  std::vector<double> reported_;
  std::uint64_t samplesRead_ = 0;
  std::vector<std::complex<float>> samples_;
};

}  // namespace tavimor::scan
