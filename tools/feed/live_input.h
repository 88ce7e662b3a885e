// SPDX-License-Identifier: GPL-3.0-or-later
// Standard input from a pipe or a terminal, read as lines arrive.
#pragma once

#include <array>
#include <atomic>
#include <streambuf>

#include "tools/feed/polled_reader.h"

namespace tavimor::feed {

// Hands on whatever has arrived on fd as soon as it arrives, so that a reader gets each line when
// its end comes in rather than when a buffer fills. Ends like the end of the input when stop is
// set, even while nothing arrives.
class LiveInputBuffer final : public std::streambuf {
 public:
  LiveInputBuffer(int fd, const std::atomic<bool>& stop) : reader_(fd, stop) {}

 protected:
  int_type underflow() override;

 private:
  PolledReader reader_;
  std::array<char, 4096> buffer_{};
};

}  // namespace tavimor::feed
