// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pseudo_terminal.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace tavimor::testing {

PseudoTerminal::PseudoTerminal() {
  int device = -1;
  std::array<char, 128> name{};
  // Raw from the start, as a serial line is: bytes written before the program opens the device
  // must not pass through a line editor.
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &device, name.data(), &raw, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  // Only the program keeps the device side open, so a hang-up reaches it.
  ::close(device);
  devicePath_ = name.data();
}

PseudoTerminal::~PseudoTerminal() {
  hangUp();
}

void PseudoTerminal::write(std::string_view bytes) const {
  if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("write to pseudo-terminal failed");
  }
}

void PseudoTerminal::hangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tavimor::testing
