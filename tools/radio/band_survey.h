// SPDX-License-Identifier: GPL-3.0-or-later
// What the radio knows of the whole band once a tuner has scanned it: the stations found, hop by
// hop, and a picture stitched from each hop's spectrum. The capture received afterwards keeps
// its own part of both fresh; the rest stays as the scan left it.
#pragma once

#include <optional>
#include <vector>

#include "scan/capture_scan.h"
#include "tools/radio/receiver.h"

namespace tavimor::radio {

class BandSurvey {
 public:
  // The part of the band the picture covers.
  BandSurvey(double fromHz, double toHz);

  // The stations a capture lists now in one part of the band. A station listed before keeps what
  // the capture has not told again (a name still being received); with complete, the capture has
  // been looked at long enough that those it lacks are gone.
  void take(const ScanHop& part, const std::vector<Station>& stations, bool complete);
  // The spectrum of the capture centred at centreHz, over one part of the band.
  void paint(const ScanHop& part, const scan::BandPicture& spectrum, double centreHz);

  // By frequency; the one at tunedHz marked as tuned to.
  std::vector<Station> stations(std::optional<double> tunedHz) const;
  BandPicture picture(std::optional<ScanHop> scanning) const;

 private:
  double fromHz_;
  std::vector<float> powerDb_;
  std::vector<Station> stations_;
};

}  // namespace tavimor::radio
