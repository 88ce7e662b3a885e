// SPDX-License-Identifier: GPL-3.0-or-later
// Where the packets (or log lines) go: a serial line or pseudo-terminal through QSerialPort at 9600
// 8N1, or a FIFO or standard output.
#pragma once

#include <QFile>
#include <QIODevice>
#include <QSerialPort>

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "decode/rds_group.h"

namespace tavimor::feed {

class PacketWriter {
 public:
  // device is a character device, a FIFO, or "-" for standard output. On failure, says why.
  std::optional<std::string> open(const std::string& device);

  // Writes the packet and waits until it has left the program, so that each packet goes out in
  // its own turn. Returns false on a write error, or when stop was set while the line was full.
  bool write(const PacketBytes& packet, const std::atomic<bool>& stop);
  // The same for a line of text, to which the line end is added.
  bool writeLine(std::string_view line, const std::atomic<bool>& stop);

  std::string errorString() const;

 private:
  bool writeBytes(std::span<const char> bytes, const std::atomic<bool>& stop);

  std::unique_ptr<QSerialPort> serialPort_;
  std::unique_ptr<QFile> file_;
  QIODevice* device_ = nullptr;
};

}  // namespace tavimor::feed
