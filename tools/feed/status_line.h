// SPDX-License-Identifier: GPL-3.0-or-later
// The reception status line: once a second on standard error, rewritten in place on a terminal
// and a line each time otherwise, so that a listener adjusting the antenna sees the effect.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace tavimor::feed {

class StatusLine {
 public:
  StatusLine(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  // Shows the line text() gives, unless it is less than a second since the last one, or since
  // the start: before, nothing has settled.
  void update(const std::function<std::string()>& text);
  // Whatever follows starts on a line of its own.
  void end();

 private:
  std::ostream& out_;
  bool terminal_;
  std::chrono::steady_clock::time_point shown_ = std::chrono::steady_clock::now();
  bool open_ = false;
};

}  // namespace tavimor::feed
