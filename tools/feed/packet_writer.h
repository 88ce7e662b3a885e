// SPDX-License-Identifier: GPL-3.0-or-later
// Where the packets (or log lines) go: a serial line or pseudo-terminal through QSerialPort at 9600
// 8N1, or a FIFO or standard output. No write outlasts a stop request.
#pragma once

#include <QSerialPort>

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tavimor::feed {

class PacketWriter {
 public:
  explicit PacketWriter(const std::atomic<bool>& stop) : stop_(stop) {}
  ~PacketWriter();
  PacketWriter(const PacketWriter&) = delete;
  PacketWriter& operator=(const PacketWriter&) = delete;

  // device is a character device, a FIFO, or "-" for standard output. On failure, says why.
  // Opening a FIFO waits for its reader, or for a stop.
  std::optional<std::string> open(const std::string& device);

  // Writes the bytes and waits until they have left the program, so that each packet goes out in
  // its own turn. Returns false on a write error, or when stop was set while the line was full.
  bool write(std::span<const char> bytes);

  std::string errorString() const { return error_; }

 private:
  bool writeToSerialPort(std::span<const char> bytes);
  bool writeToDescriptor(std::span<const char> bytes);

  const std::atomic<bool>& stop_;
  std::unique_ptr<QSerialPort> serialPort_;
  int fd_ = -1;
  bool ownsFd_ = false;
  std::string error_;
};

}  // namespace tavimor::feed
