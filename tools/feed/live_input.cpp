// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/live_input.h"

#include <span>

namespace tavimor::feed {

LiveInputBuffer::int_type LiveInputBuffer::underflow() {
  const std::size_t count = reader_.read(std::as_writable_bytes(std::span(buffer_)));
  if (count == 0) return traits_type::eof();
  setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
  return traits_type::to_int_type(buffer_[0]);
}

}  // namespace tavimor::feed
