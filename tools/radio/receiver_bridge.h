// SPDX-License-Identifier: GPL-3.0-or-later
// What a receiver tells from its own thread, handed to the window's thread as Qt signals, in the
// order it was told.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

#include "tools/radio/receiver.h"

namespace tavimor::radio {

class ReceiverBridge : public QObject, public ReceiverListener {
  Q_OBJECT

 public:
  using QObject::QObject;

  void groupReceived(const RdsGroup& group) override;
  void receptionChanged(const Reception& reception) override;
  void bandChanged(const BandPicture& picture) override;
  void stationsChanged(const std::vector<Station>& stations) override;
  void devicesFound(const std::vector<TunerDevice>& devices) override;
  void said(const std::string& line, bool trouble) override;
  void ended(bool failed) override;

 signals:
  void group(const tavimor::RdsGroup& group);
  void reception(const tavimor::radio::Reception& reception);
  void band(const tavimor::radio::BandPicture& picture);
  void stations(const std::vector<tavimor::radio::Station>& stations);
  void devices(const std::vector<tavimor::radio::TunerDevice>& devices);
  void line(const QString& line, bool trouble);
  void stopped(bool failed);
};

}  // namespace tavimor::radio
