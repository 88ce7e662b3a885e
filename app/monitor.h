// SPDX-License-Identifier: GPL-3.0-or-later
// The program: the reception of the receiver's reads, the window that shows them and the serial
// link they come through.
#pragma once

#include <QObject>
#include <QString>

#include "app/receiver_link.h"
#include "app/reception.h"
#include "app/startup_error.h"
#include "ui/main_window.h"

namespace tavimor {

class Monitor : public QObject {
  Q_OBJECT

 public:
  // portDevice is the receiver's serial device; the program itself always uses port 5.
  Monitor(QString portDevice, StartupErrorReporter& reporter, QObject* parent = nullptr);

  // Start-up: the status file, then the serial port. On failure the error has been reported,
  // whatever was done stays done, and the window must not be shown.
  bool start();

  void handlePacket(const PacketBytes& packet);
  void showFragment(const Fragment& fragment);

  MainWindow& window() { return window_; }
  const Reception& reception() const { return reception_; }
  const ReceiverLink& receiverLink() const { return link_; }

 private:
  Reception reception_;
  MainWindow window_;
  ReceiverLink link_;
  StartupErrorReporter& reporter_;
};

}  // namespace tavimor
