// SPDX-License-Identifier: GPL-3.0-or-later
// Every station of one capture at once: the carriers found in the band's averaged spectrum, each
// received by a chain of its own from one shared filter bank, and listed with what its RDS says.
// A window can poll stations() and picture() from another thread while the scan runs, or be
// called back as stations are listed and dropped (on the scan's own thread).
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavimor::scan {

// One station as the scan lists it.
struct StationReport {
  // Of its carrier from the capture's centre, as measured.
  double offsetHz = 0.0;
  // The capture's centre plus the offset, where the centre is known.
  std::optional<double> frequencyHz{};
  // Once it stands: it came twice in a row, the rule the decoder takes a new PI by.
  std::optional<std::uint16_t> pi{};
  // The last complete eight-character name, as the monitor shows it (UTF-8); only with a PI.
  std::optional<std::string> ps{};
  std::optional<std::uint8_t> pty{};
  // The carrier's power in its 200 kHz, of a full-scale carrier's, and over the noise's there.
  double levelDbfs = 0.0;
  double snrDb = 0.0;
  // Of the blocks due since the decoder found the station, over the last ten seconds, the share
  // lost; none before its first group.
  std::optional<double> blockErrorRate{};
  // Whole groups decoded.
  std::uint64_t groups = 0;
  // Its PI stands.
  bool rds = false;
  // Nothing more to wait for: a PI and a complete name, or no group at all for a few seconds.
  bool settled = false;
  // In seconds of the capture: when the carrier was found, its PI stood, its name was complete.
  double foundSeconds = 0.0;
  std::optional<double> piSeconds{};
  std::optional<double> psSeconds{};
};

// The averaged spectrum, for a picture of the band.
struct BandPicture {
  std::optional<double> centreHz;
  // The bins' width, and the first bin's centre from the capture's centre.
  double binHz = 0.0;
  double firstOffsetHz = 0.0;
  // Of each bin, in dB of a full-scale carrier's power; empty until the first average.
  std::vector<float> levelDbfs;
  double noiseDbfs = 0.0;
};

struct ScanSettings {
  // Of the capture, within [fm::kMinIqRate, fm::kMaxIqRate].
  double sampleRate = 0.0;
  // The frequency at the capture's centre, where known.
  std::optional<double> centreHz;
  // Carriers are looked for within this far of the centre; none: as far as a channel fits.
  std::optional<double> widestOffsetHz;
};

class CaptureScan {
 public:
  using StationHandler = std::function<void(const StationReport&)>;

  // Throws std::invalid_argument, with a message fit to show the user, for a rate it cannot take.
  explicit CaptureScan(const ScanSettings& settings);
  ~CaptureScan();
  CaptureScan(const CaptureScan&) = delete;
  CaptureScan& operator=(const CaptureScan&) = delete;
  CaptureScan(CaptureScan&&) = delete;
  CaptureScan& operator=(CaptureScan&&) = delete;

  // Called when a station settles (see StationReport::settled), once, and when a carrier that
  // went away is dropped.
  void onSettled(StationHandler handler);
  void onDropped(StationHandler handler);

  // The capture's next samples, full scale +-1.
  void process(std::span<const std::complex<float>> band);
  // The same tuner at another centre: the stations before are dropped without a word.
  void retune(const ScanSettings& settings);

  // Safe to call from any thread. Sorted by offset.
  std::vector<StationReport> stations() const;
  BandPicture picture() const;
  // Of capture given since the start or the last retune.
  double seconds() const;
  // Every station found is settled, and the spectrum has been looked at long enough to find them.
  bool allSettled() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavimor::scan
