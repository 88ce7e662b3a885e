// SPDX-License-Identifier: GPL-3.0-or-later
// The serial link from the receiver, delivering whole packets and the fragments pauses leave.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

#include "app/startup_error.h"
#include "decode/packet_framer.h"
#include "decode/rds_group.h"

namespace tavimor {

// The receiver is on the fifth serial port.
inline constexpr int kReceiverPort = 5;

// The device of serial port number n: COMn on Windows, /dev/ttyS(n-1) elsewhere.
QString serialPortDevice(int number);

// USB serial adapters hold bytes back for up to 16 ms; a receiver pauses about 78 ms between
// groups. A quiet line for this long therefore ends a fragment without splitting a packet.
inline constexpr std::chrono::milliseconds kQuietLine{25};

// While the device is gone, how often to look for it again.
inline constexpr std::chrono::milliseconds kReopenInterval{1000};

// Each run of nine bytes is delivered as a packet at once; fewer bytes left over are delivered
// as a fragment when the line has been quiet for kQuietLine, so that the next packet is aligned.
class ReceiverLink : public QObject {
  Q_OBJECT

 public:
  explicit ReceiverLink(QString device, QObject* parent = nullptr);

  // Opens the port read-only and exclusively at 9600 baud, 8 data bits, no parity, 1 stop bit,
  // no flow control.
  std::optional<StartupError> open();

 signals:
  void packetReceived(const tavimor::PacketBytes& packet);
  void fragmentReceived(const tavimor::Fragment& fragment);

 private:
  void onReadyRead();
  void onQuietLine();
  void onError(QSerialPort::SerialPortError error);
  void closeAfterError();
  void tryReopen();

  QString device_;
  QSerialPort port_;
  PacketFramer framer_;
  QTimer quietTimer_;
  QTimer reopenTimer_;
};

}  // namespace tavimor
