// SPDX-License-Identifier: GPL-3.0-or-later
// Standard input from a pipe or a terminal, read as lines arrive.
#pragma once

#include <array>
#include <atomic>
#include <streambuf>

namespace tavimor::feed {

// Whether fd brings its lines over time (a pipe, FIFO, terminal or socket) rather than being a
// file that is all there already.
bool isLiveInput(int fd);

// Hands on whatever has arrived on fd as soon as it arrives, so that a reader gets each line when
// its end comes in rather than when a buffer fills. Ends like the end of the input when stop is
// set, even while nothing arrives: a blocked read would ignore the stop request until the next
// line.
class LiveInputBuffer final : public std::streambuf {
 public:
  LiveInputBuffer(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop) {}

 protected:
  int_type underflow() override;

 private:
  int fd_;
  const std::atomic<bool>& stop_;
  std::array<char, 4096> buffer_{};
};

}  // namespace tavimor::feed
