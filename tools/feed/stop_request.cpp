// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/stop_request.h"

#include <csignal>

namespace tavimor::feed {
namespace {

std::atomic<bool> requested{false};

void requestStop(int /*signal*/) {
  requested = true;
}

}  // namespace

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;                                // no SA_RESTART
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})  // SIGHUP: a closed terminal
    sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

const std::atomic<bool>& stopRequested() {
  return requested;
}

}  // namespace tavimor::feed
