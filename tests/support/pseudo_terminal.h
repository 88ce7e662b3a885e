// SPDX-License-Identifier: GPL-3.0-or-later
// A real pseudo-terminal pair: the program opens the device side, the test writes to the master.
#pragma once

#include <string>
#include <string_view>

namespace tavimor::testing {

class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device the program opens, such as /dev/pts/3.
  const std::string& devicePath() const { return devicePath_; }

  // Writes all bytes to the master side in one call.
  void write(std::string_view bytes) const;

  // Hangs up, as a receiver that is unplugged.
  void hangUp();

 private:
  int master_ = -1;
  std::string devicePath_;
};

}  // namespace tavimor::testing
