// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/receiver_bridge.h"

namespace tavimor::radio {

// Each call is queued to this object's thread with a copy of what was told.
void ReceiverBridge::groupReceived(const RdsGroup& group) {
  QMetaObject::invokeMethod(
      this, [this, group] { emit this->group(group); }, Qt::QueuedConnection);
}

void ReceiverBridge::receptionChanged(const Reception& reception) {
  QMetaObject::invokeMethod(
      this, [this, reception] { emit this->reception(reception); }, Qt::QueuedConnection);
}

void ReceiverBridge::bandChanged(const BandPicture& picture) {
  QMetaObject::invokeMethod(
      this, [this, picture] { emit band(picture); }, Qt::QueuedConnection);
}

void ReceiverBridge::stationsChanged(const std::vector<Station>& stations) {
  QMetaObject::invokeMethod(
      this, [this, stations] { emit this->stations(stations); }, Qt::QueuedConnection);
}

void ReceiverBridge::devicesFound(const std::vector<TunerDevice>& devices) {
  QMetaObject::invokeMethod(
      this, [this, devices] { emit this->devices(devices); }, Qt::QueuedConnection);
}

void ReceiverBridge::said(const std::string& line, bool trouble) {
  QMetaObject::invokeMethod(
      this,
      [this, text = QString::fromStdString(line), trouble] { emit this->line(text, trouble); },
      Qt::QueuedConnection);
}

void ReceiverBridge::ended(bool failed) {
  QMetaObject::invokeMethod(
      this, [this, failed] { emit stopped(failed); }, Qt::QueuedConnection);
}

}  // namespace tavimor::radio
