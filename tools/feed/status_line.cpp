// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/status_line.h"

namespace tavimor::feed {

void StatusLine::update(const std::function<std::string()>& text) {
  const auto now = std::chrono::steady_clock::now();
  if (now - shown_ < std::chrono::seconds(1)) return;
  shown_ = now;
  if (terminal_) {
    // Back to the start of the line, and what a longer line before left behind erased.
    out_ << '\r' << text() << "\x1b[K" << std::flush;
    open_ = true;
  } else {
    out_ << text() << '\n' << std::flush;
  }
}

void StatusLine::end() {
  if (open_) out_ << '\n';
  open_ = false;
}

}  // namespace tavimor::feed
