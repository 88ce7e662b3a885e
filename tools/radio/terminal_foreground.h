// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C interrupts the terminal's whole foreground process group, the caller (make) included,
// which would then report a failure for a run the user simply ended. A radio started in the
// foreground takes it for a process group of its own while it runs, so that Ctrl-C reaches it
// alone, and gives it back when it ends.
#pragma once

#include <sys/types.h>

namespace tavimor::radio {

class TerminalForeground {
 public:
  TerminalForeground();
  ~TerminalForeground();
  TerminalForeground(const TerminalForeground&) = delete;
  TerminalForeground& operator=(const TerminalForeground&) = delete;

 private:
  int terminal_ = -1;
  pid_t callersGroup_ = 0;
};

}  // namespace tavimor::radio
