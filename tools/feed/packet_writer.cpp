// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/packet_writer.h"

#include <unistd.h>

#include <filesystem>

namespace tavimor::feed {
namespace {

constexpr int kWriteWaitMilliseconds = 100;

}  // namespace

std::optional<std::string> PacketWriter::open(const std::string& device) {
  if (device == "-") {
    file_ = std::make_unique<QFile>();
    if (!file_->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
      return file_->errorString().toStdString();
    }
    device_ = file_.get();
    return std::nullopt;
  }

  std::error_code error;
  const auto status = std::filesystem::status(device, error);
  // A typing error must not leave a new file where a device was meant.
  if (!std::filesystem::exists(status)) return "no such device or file";
  if (std::filesystem::is_directory(status)) return "is a directory";
  // Refused so that a log named in the device's place is not overwritten.
  if (std::filesystem::is_regular_file(status)) {
    return "is a regular file, not a device (use - for standard output)";
  }

  if (std::filesystem::is_character_file(status)) {
    serialPort_ = std::make_unique<QSerialPort>(QString::fromStdString(device));
    serialPort_->setBaudRate(QSerialPort::Baud9600);
    serialPort_->setDataBits(QSerialPort::Data8);
    serialPort_->setParity(QSerialPort::NoParity);
    serialPort_->setStopBits(QSerialPort::OneStop);
    serialPort_->setFlowControl(QSerialPort::NoFlowControl);
    if (!serialPort_->open(QIODevice::WriteOnly)) return serialPort_->errorString().toStdString();
    device_ = serialPort_.get();
  } else {
    file_ = std::make_unique<QFile>(QString::fromStdString(device));
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
      return file_->errorString().toStdString();
    }
    device_ = file_.get();
  }
  return std::nullopt;
}

bool PacketWriter::write(const PacketBytes& packet, const std::atomic<bool>& stop) {
  return writeBytes({reinterpret_cast<const char*>(packet.data()), packet.size()}, stop);
}

bool PacketWriter::writeLine(std::string_view line, const std::atomic<bool>& stop) {
  std::string withEnd(line);
  withEnd += '\n';
  return writeBytes(withEnd, stop);
}

bool PacketWriter::writeBytes(std::span<const char> bytes, const std::atomic<bool>& stop) {
  if (device_->write(bytes.data(), static_cast<qint64>(bytes.size())) !=
      static_cast<qint64>(bytes.size())) {
    return false;
  }
  if (!serialPort_) return file_->flush();
  while (serialPort_->bytesToWrite() > 0) {
    if (stop) return false;
    if (!serialPort_->waitForBytesWritten(kWriteWaitMilliseconds) &&
        serialPort_->error() != QSerialPort::TimeoutError) {
      return false;
    }
  }
  return true;
}

std::string PacketWriter::errorString() const {
  return device_ ? device_->errorString().toStdString() : std::string();
}

}  // namespace tavimor::feed
