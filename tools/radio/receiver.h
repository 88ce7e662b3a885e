// SPDX-License-Identifier: GPL-3.0-or-later
// The interface between tavimor-radio's window and whatever receives the stations: a recording
// played at its own pace, the demo station, or a tuner through SoapySDR. The window asks for a
// station; the receiver tells, from a thread of its own, the groups of the station tuned to, how it
// is received, what the band looks like and which stations are in it, and what went wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/rds_group.h"

namespace tavimor::radio {

// How the station tuned to is received. What the source cannot tell is left empty: a group log
// has no carrier.
struct Reception {
  std::optional<double> carrierDbfs;
  std::optional<double> snrDb;
  // Of the blocks expected lately, the share that was lost.
  std::optional<double> blocksLost;
  std::optional<bool> pilot;
  bool echoUndone = false;
  std::uint64_t groups = 0;
};

// One station of the band. Frequencies are in the receiver's own terms: on the air for a stick,
// from the centre of the capture for a recording (whose centre is 0).
struct Station {
  double frequencyHz = 0.0;
  std::optional<std::uint16_t> pi{};
  // The last complete name; empty until one came whole.
  std::string ps{};
  std::optional<std::uint8_t> pty{};
  // Carrier level in dB of full scale; none where the source has no carrier.
  std::optional<double> levelDb{};
  // Share of blocks received whole, 0 to 1; none before RDS was found.
  std::optional<double> quality{};
  bool tuned = false;
};

// The part of the band a scan is looking at.
struct ScanHop {
  double fromHz = 0.0;
  double toHz = 0.0;
};

// The power spectrum of the capture (or of the band, after a scan), in dB of full scale, from
// centreHz - spanHz / 2 upwards; NaN where nothing was seen yet.
struct BandPicture {
  double centreHz = 0.0;
  double spanHz = 0.0;
  std::vector<float> powerDb;
  // While the band is scanned: the part being looked at.
  std::optional<ScanHop> scanning;
};

// A tuner the receiver could open: how the user knows it, and the arguments that open it.
struct TunerDevice {
  std::string label;
  std::string args;
};

class ReceiverListener {
 public:
  virtual ~ReceiverListener() = default;
  // A whole group of the station tuned to, as it comes off the air.
  virtual void groupReceived(const RdsGroup& group) = 0;
  virtual void receptionChanged(const Reception& reception) = 0;
  // A few times a second where the source has a spectrum; the stations at every change.
  virtual void bandChanged(const BandPicture& picture) = 0;
  virtual void stationsChanged(const std::vector<Station>& stations) = 0;
  // The tuners found, each time the receiver looks for its own.
  virtual void devicesFound(const std::vector<TunerDevice>& devices) = 0;
  // A line for the user: news (a recording that ended) or trouble with its fix.
  virtual void said(const std::string& line, bool trouble) = 0;
  // The receiver stopped by itself: at the end of a recording, or on trouble (failed).
  virtual void ended(bool failed) = 0;
};

class Receiver {
 public:
  virtual ~Receiver() = default;
  // What it receives, for the window's title and the terminal: "the demo station".
  virtual std::string description() const = 0;
  // Whether the frequency box, the list and the picture can tune it; and where it is tuned.
  virtual bool tunable() const = 0;
  virtual std::optional<double> tunedHz() const = 0;
  // Whether frequencies are on the air (MHz) or from a recording's centre (kHz).
  virtual bool onAir() const = 0;
  // Starts receiving on a thread of its own; the listener is told from that thread until stop()
  // returns. A receiver stopped or ended may be started again.
  virtual void start(ReceiverListener& listener) = 0;
  // Tunes to the station at hz, without a gap longer than the receiver needs to find it.
  virtual void tune(double hz) = 0;
  virtual void stop() = 0;
  // A tuner's: scans the band again, leaving the station received; and after trouble, starts
  // again as it was, with the device given (empty: the only one found).
  virtual void scanBand() {}
  virtual void retry(const std::string& /*device*/) {}
};

}  // namespace tavimor::radio
