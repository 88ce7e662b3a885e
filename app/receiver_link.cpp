// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/receiver_link.h"

#include <unistd.h>

#include <filesystem>

#include "app/port_lock.h"

namespace tavimor {
namespace {

// Who holds the port, and for a lock left by a program that died, how to remove it: Qt removes
// such a lock by itself only where the user may delete it.
QStringList lockAdvice(const std::filesystem::path& device) {
  const std::optional<PortLock> lock = findPortLock(device);
  if (!lock) return {};
  const QString file = QString::fromStdString(lock->file.string());
  QString holder = QStringLiteral("process %1").arg(lock->holder);
  if (!lock->program.empty())
    holder += QStringLiteral(" (%1)").arg(QString::fromStdString(lock->program));
  if (lock->holderRunning) {
    return {QStringLiteral("The port is in use by %1, which holds the lock file %2.")
                .arg(holder, file)};
  }
  return {
      QStringLiteral("The lock file %1 blocks the port: %2, which left it, is no longer running.")
          .arg(file, holder),
      QStringLiteral("Remove it with: %1rm %2")
          .arg(::geteuid() == 0 ? QString() : QStringLiteral("sudo "), file)};
}

}  // namespace

QString serialPortDevice(int number) {
#ifdef Q_OS_WIN
  return QStringLiteral("COM%1").arg(number);
#else
  return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

ReceiverLink::ReceiverLink(QString device, QObject* parent)
    : QObject(parent), device_(std::move(device)) {
  port_.setPortName(device_);
  port_.setBaudRate(QSerialPort::Baud9600);
  port_.setParity(QSerialPort::NoParity);
  port_.setDataBits(QSerialPort::Data8);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);

  quietTimer_.setSingleShot(true);
  quietTimer_.setTimerType(Qt::PreciseTimer);
  quietTimer_.setInterval(kQuietLine);
  reopenTimer_.setInterval(kReopenInterval);

  connect(&port_, &QSerialPort::readyRead, this, &ReceiverLink::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &ReceiverLink::onError);
  connect(&quietTimer_, &QTimer::timeout, this, &ReceiverLink::onQuietLine);
  connect(&reopenTimer_, &QTimer::timeout, this, &ReceiverLink::tryReopen);
}

std::optional<StartupError> ReceiverLink::open() {
  if (port_.open(QIODevice::ReadOnly)) return std::nullopt;
  return StartupError{static_cast<int>(port_.error()), port_.errorString(),
                      QStringLiteral("Serial port %1 (%2)").arg(kReceiverPort).arg(device_),
                      lockAdvice(device_.toStdString())};
}

void ReceiverLink::onReadyRead() {
  const QByteArray bytes = port_.readAll();
  framer_.append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                 [this](const PacketBytes& packet) { emit packetReceived(packet); });
  if (framer_.hasFragment()) {
    quietTimer_.start();
  } else {
    quietTimer_.stop();
  }
}

void ReceiverLink::onQuietLine() {
  framer_.flush([this](const Fragment& fragment) { emit fragmentReceived(fragment); });
}

void ReceiverLink::onError(QSerialPort::SerialPortError error) {
  // Errors of a failed open are reported by open() or ignored while reopening.
  if (error == QSerialPort::NoError || !port_.isOpen()) return;
  // Closed from the event loop: the port may still be inside the notifier that failed.
  QMetaObject::invokeMethod(this, &ReceiverLink::closeAfterError, Qt::QueuedConnection);
}

void ReceiverLink::closeAfterError() {
  if (!port_.isOpen()) return;
  // Qt keeps reporting a vanished device in a tight loop until the port is closed.
  port_.close();
  framer_.clear();
  quietTimer_.stop();
  reopenTimer_.start();
}

void ReceiverLink::tryReopen() {
  if (port_.open(QIODevice::ReadOnly)) reopenTimer_.stop();
}

}  // namespace tavimor
