// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/capture_report.h"

#include <algorithm>
#include <cmath>

namespace tavimor::radio {

Reception receptionOf(const receiver::ReceiverChain& chain, Station& tuned) {
  const receiver::ReceptionStatus status = chain.status();
  Reception reception;
  reception.pilot = status.rds.pilot;
  reception.snrDb = status.rds.snrDb;
  reception.blocksLost = status.rds.blockErrorRate;
  reception.groups = chain.counts().completeGroups;
  if (status.carrier) {
    reception.carrierDbfs = status.carrier->levelDbfs;
    reception.echoUndone = status.carrier->equalizing;
    tuned.levelDb = status.carrier->levelDbfs;
  }
  if (status.rds.blockErrorRate && status.rds.carrier) {
    tuned.quality = 1.0 - *status.rds.blockErrorRate;
  }
  return reception;
}

Station stationOf(const scan::StationReport& report, double centreHz) {
  Station station;
  station.frequencyHz = centreHz + report.offsetHz;
  station.pi = report.pi;
  station.ps = report.ps.value_or(std::string());
  station.pty = report.pty;
  station.levelDb = report.levelDbfs;
  if (report.blockErrorRate) station.quality = 1.0 - *report.blockErrorRate;
  return station;
}

std::vector<Station> listStations(const std::vector<scan::StationReport>& reports, double centreHz,
                                  const Station& tuned) {
  std::vector<Station> stations;
  bool tunedListed = false;
  for (const scan::StationReport& report : reports) {
    Station station = stationOf(report, centreHz);
    if (std::abs(station.frequencyHz - tuned.frequencyHz) < kSameStationHz && !tunedListed) {
      station = tuned;
      tunedListed = true;
    }
    stations.push_back(station);
  }
  if (!tunedListed) stations.push_back(tuned);
  std::ranges::sort(stations, {}, &Station::frequencyHz);
  return stations;
}

BandPicture pictureOf(const scan::BandPicture& scanned, double centreHz) {
  BandPicture picture;
  const auto bins = static_cast<double>(scanned.levelDbfs.size());
  picture.spanHz = bins * scanned.binHz;
  picture.centreHz = centreHz + scanned.firstOffsetHz - scanned.binHz / 2 + picture.spanHz / 2;
  picture.powerDb = scanned.levelDbfs;
  return picture;
}

}  // namespace tavimor::radio
