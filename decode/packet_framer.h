// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the byte stream from the receiver into reads: whole packets at once, and whatever is left
// over as one short read when the line pauses. Plain C++, so it can be driven without a port.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "decode/rds_group.h"

namespace tavimor {

class PacketFramer {
 public:
  // Takes bytes as they arrive and passes each complete packet to deliver(std::string_view).
  template <typename Deliver>
  void append(std::string_view bytes, Deliver&& deliver) {
    pending_.append(bytes);
    std::size_t delivered = 0;
    while (pending_.size() - delivered >= kPacketSize) {
      deliver(std::string_view(pending_).substr(delivered, kPacketSize));
      delivered += kPacketSize;
    }
    pending_.erase(0, delivered);
  }

  // The line went quiet: the bytes left over, if any, are delivered as one short read so that
  // the next packet starts aligned.
  template <typename Deliver>
  void flush(Deliver&& deliver) {
    if (pending_.empty()) return;
    const std::string fragment = std::exchange(pending_, std::string());
    deliver(std::string_view(fragment));
  }

  // Forgets a fragment, as when the device went away in the middle of a packet.
  void clear() { pending_.clear(); }

  bool hasFragment() const { return !pending_.empty(); }

 private:
  std::string pending_;
};

}  // namespace tavimor
