// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/terminal_foreground.h"

#include <unistd.h>

#include <csignal>

namespace tavimor::radio {
namespace {

// A process group not in the foreground is stopped by SIGTTOU when it sets the foreground.
void setForeground(int terminal, pid_t group) {
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTTOU);
  sigprocmask(SIG_BLOCK, &blocked, &previous);
  ::tcsetpgrp(terminal, group);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

TerminalForeground::TerminalForeground() {
  // Only where this process's group is the foreground one: in the background, or where the
  // foreground group lies outside this process namespace (tcgetpgrp() gives 0 then), nothing.
  const pid_t group = ::getpgrp();
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetpgrp(STDIN_FILENO) != group) return;
  if (::getpid() == group || ::setpgid(0, 0) != 0) return;
  terminal_ = STDIN_FILENO;
  callersGroup_ = group;
  setForeground(terminal_, ::getpgrp());
}

TerminalForeground::~TerminalForeground() {
  if (terminal_ >= 0) setForeground(terminal_, callersGroup_);
}

}  // namespace tavimor::radio
