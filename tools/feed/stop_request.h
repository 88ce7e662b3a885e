// SPDX-License-Identifier: GPL-3.0-or-later
// The feeder's one stop request: set by SIGINT, SIGTERM and SIGHUP, and looked at by every wait
// (for input, for the line, for a group's turn), so that no wait outlasts it by more than a
// tenth of a second.
#pragma once

#include <atomic>

namespace tavimor::feed {

// How long a wait goes on before it looks at the stop request again, should the signal have come
// just before the wait began.
inline constexpr int kStopCheckMilliseconds = 100;

// Installs the handlers. They interrupt a blocked system call rather than have it restarted; and
// SIGPIPE is ignored, so that a reader gone away is a write error like any other, not a silent
// death.
void installStopHandlers();

const std::atomic<bool>& stopRequested();

}  // namespace tavimor::feed
