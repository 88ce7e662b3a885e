// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/packet_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/feed/stop_request.h"

namespace tavimor::feed {
namespace {

std::string writeProblem(int error) {
  if (error == EPIPE) return "nothing reads it any more";
  return std::strerror(error);
}

}  // namespace

PacketWriter::~PacketWriter() {
  if (ownsFd_) ::close(fd_);
}

std::optional<std::string> PacketWriter::open(const std::string& device) {
  if (device == "-") {
    fd_ = STDOUT_FILENO;
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
    return std::nullopt;
  }
  // A FIFO's open waits for a reader; the stop handlers interrupt it.
  do {
    fd_ = ::open(device.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR && !stop_);
  if (fd_ < 0 && errno == EINTR) return std::nullopt;  // stopped before anything was written
  if (fd_ < 0) return std::strerror(errno);
  ownsFd_ = true;
  return std::nullopt;
}

bool PacketWriter::write(std::span<const char> bytes) {
  if (stop_) return false;
  return serialPort_ ? writeToSerialPort(bytes) : writeToDescriptor(bytes);
}

bool PacketWriter::writeToSerialPort(std::span<const char> bytes) {
  if (serialPort_->write(bytes.data(), static_cast<qint64>(bytes.size())) !=
      static_cast<qint64>(bytes.size())) {
    error_ = serialPort_->errorString().toStdString();
    return false;
  }
  while (serialPort_->bytesToWrite() > 0) {
    if (stop_) return false;
    if (!serialPort_->waitForBytesWritten(kStopCheckMilliseconds) &&
        serialPort_->error() != QSerialPort::TimeoutError) {
      error_ = serialPort_->errorString().toStdString();
      return false;
    }
  }
  return true;
}

// Waits for room before each write, so that a full pipe holds the feeder no longer than a stop
// request: a pipe with room takes a packet or a line whole.
bool PacketWriter::writeToDescriptor(std::span<const char> bytes) {
  while (!bytes.empty()) {
    if (stop_) return false;
    pollfd output{fd_, POLLOUT, 0};
    const int ready = ::poll(&output, 1, kStopCheckMilliseconds);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (written < 0) break;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  if (bytes.empty()) return true;
  if (!stop_) error_ = writeProblem(errno);
  return false;
}

}  // namespace tavimor::feed
