// SPDX-License-Identifier: GPL-3.0-or-later
// The reference for make bench: the least a Qt Widgets window can do for each packet from a
// receiver. It reads the bytes and shows each packet as received and in hex in two line edits,
// and the number of packets in a label.
//
// Usage: tavimor_reference_window [DEVICE]   (default /dev/ttyS4, the monitor's port 5)

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTextStream>
#include <QWidget>

#include <cstdlib>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  QSerialPort port(arguments.size() > 1 ? arguments.at(1) : QStringLiteral("/dev/ttyS4"));
  port.setBaudRate(QSerialPort::Baud9600);
  if (!port.open(QIODevice::ReadOnly)) {
    QTextStream(stderr) << port.portName() << ": " << port.errorString() << '\n';
    return EXIT_FAILURE;
  }

  QWidget window;
  window.setWindowTitle(QStringLiteral("Reference"));
  window.resize(300, 90);
  auto* raw = new QLineEdit(&window);
  auto* hex = new QLineEdit(&window);
  auto* count = new QLabel(&window);
  raw->setGeometry(8, 8, 113, 19);
  hex->setGeometry(8, 32, 113, 19);
  count->setGeometry(8, 56, 200, 17);
  raw->setReadOnly(true);
  hex->setReadOnly(true);
  raw->setFocus();

  constexpr qsizetype kPacketSize = 9;
  QByteArray pending;
  quint64 packets = 0;
  QObject::connect(&port, &QSerialPort::readyRead, [&] {
    pending += port.readAll();
    while (pending.size() >= kPacketSize) {
      const QByteArray packet = pending.first(kPacketSize);
      pending.remove(0, kPacketSize);
      raw->setText(QString::fromLatin1(packet));
      hex->setText(QString::fromLatin1(packet.toHex().toUpper()));
      count->setText(QString::number(++packets));
    }
  });

  window.show();
  return QApplication::exec();
}
