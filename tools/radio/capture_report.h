// SPDX-License-Identifier: GPL-3.0-or-later
// What the window is shown of an I/Q capture received through the receiver chain and the scan of
// the capture: how the station tuned to is received, the capture's stations with it, and the
// capture's spectrum as the band's picture.
#pragma once

#include <chrono>
#include <vector>

#include "receiver/receiver_chain.h"
#include "scan/capture_scan.h"
#include "tools/radio/receiver.h"

namespace tavimor::radio {

// The window's figures and picture are redrawn this often.
inline constexpr auto kReportInterval = std::chrono::milliseconds(250);
// A station's channel, and the room its filters want at the capture's edges.
inline constexpr double kChannelHalfWidthHz = 150'000.0;
// A station counts as the one tuned to within this distance.
inline constexpr double kSameStationHz = 60'000.0;

// From the chain's status; the station tuned to takes its level and share of blocks received.
Reception receptionOf(const receiver::ReceiverChain& chain, Station& tuned);

// A station of the capture centred at centreHz as the window lists it.
Station stationOf(const scan::StationReport& report, double centreHz);

// The scan's stations as the window lists them, the one tuned to with what its own chain says.
std::vector<Station> listStations(const std::vector<scan::StationReport>& reports, double centreHz,
                                  const Station& tuned);

// The scan's spectrum as the band's picture.
BandPicture pictureOf(const scan::BandPicture& scanned, double centreHz);

}  // namespace tavimor::radio
