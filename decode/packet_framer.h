// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the byte stream from the receiver into whole packets at once, and whatever is left over
// into one fragment when the line pauses. Plain C++, so it can be driven without a port.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/rds_group.h"

namespace tavimor {

// The bytes of a packet cut short by a pause on the line: one to eight of them.
class Fragment {
 public:
  explicit Fragment(std::span<const std::uint8_t> bytes) : size_(bytes.size()) {
    if (bytes.empty() || bytes.size() >= kPacketSize) {
      throw std::length_error("a fragment has one to eight bytes");
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin());
  }

  std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }

 private:
  std::array<std::uint8_t, kPacketSize - 1> bytes_{};
  std::size_t size_;
};

class PacketFramer {
 public:
  // Takes bytes as they arrive and passes each packet they complete to
  // onPacket(const PacketBytes&), in order.
  template <typename OnPacket>
  void append(std::string_view bytes, OnPacket&& onPacket) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t delivered = 0;
    while (pending_.size() - delivered >= kPacketSize) {
      PacketBytes packet{};
      std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(delivered), kPacketSize,
                  packet.begin());
      onPacket(std::as_const(packet));
      delivered += kPacketSize;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(delivered));
  }

  // The line went quiet: the bytes left over, if any, go to onFragment(const Fragment&) so that
  // the next packet starts aligned.
  template <typename OnFragment>
  void flush(OnFragment&& onFragment) {
    if (pending_.empty()) return;
    const Fragment fragment(pending_);
    pending_.clear();
    onFragment(fragment);
  }

  // Forgets a fragment, as when the device went away in the middle of a packet.
  void clear() { pending_.clear(); }

  bool hasFragment() const { return !pending_.empty(); }

 private:
  // Always fewer than a packet's bytes between calls.
  std::vector<std::uint8_t> pending_;
};

}  // namespace tavimor
