// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a file descriptor whose data may come over time (a pipe, a FIFO, a terminal) without
// ever blocking past a stop request.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace tavimor::feed {

// Whether fd brings its data over time (a pipe, FIFO, terminal or socket) rather than being a
// file that is all there already.
bool isLiveInput(int fd);

class PolledReader {
 public:
  PolledReader(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop) {}

  // Waits until something has arrived and reads it into buffer: the count read, or 0 at the end
  // of the input, on an error or once stop is set.
  std::size_t read(std::span<std::byte> buffer);

  // Why the input ended, if it was not its end or a stop.
  const std::optional<std::string>& error() const { return error_; }

 private:
  int fd_;
  const std::atomic<bool>& stop_;
  std::optional<std::string> error_;
};

}  // namespace tavimor::feed
