// SPDX-License-Identifier: GPL-3.0-or-later
// One station of a scan: its channel received and decoded by a receiver chain, and what the scan
// lists of it kept from its groups: the PI once it stands, the last complete name, the programme
// type.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "receiver/receiver_chain.h"
#include "scan/capture_scan.h"

namespace tavimor::scan {

class StationReceiver {
 public:
  // channelRate: of the channel the filter bank cuts; startSeconds: the capture's time at the
  // channel's first sample.
  StationReceiver(double channelRate, double startSeconds, StationReport found);

  void process(std::span<const std::complex<float>> channel);
  // The carrier as the spectrum shows it now.
  void seen(double offsetHz, double levelDbfs, double snrDb, double atSeconds);
  double lastSeenSeconds() const { return lastSeen_; }

  // Whether it has settled since the last call: once.
  bool justSettled();
  const StationReport& report() const { return report_; }
  // A PI another, stronger station carries: not this one's.
  void disown(std::uint16_t pi);

 private:
  void take(const receiver::TimedGroup& timed);
  void notePs(std::uint16_t blockB, std::uint16_t blockD, double atSeconds);
  void updateSettled(double nowSeconds);

  receiver::ReceiverChain chain_;
  double startSeconds_;
  StationReport report_;
  double lastSeen_;
  // Block A of the last group that had one, and whether it came twice in a row.
  std::optional<std::uint16_t> lastPi_;
  std::optional<std::uint16_t> disowned_;
  // The name's segments as received since it was last complete.
  std::array<char, 8> name_{};
  std::array<bool, 4> segments_{};
  bool settledTold_ = false;
};

}  // namespace tavimor::scan
