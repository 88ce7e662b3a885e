// SPDX-License-Identifier: GPL-3.0-or-later
// Groups decoded here from a signal: an FM multiplex signal, or an SDR stick's I/Q samples of
// the station, raw on standard input or from a sound file.
#pragma once

#include <atomic>
#include <ostream>

#include "tools/feed/feed_options.h"
#include "tools/feed/replay_sources.h"

namespace tavimor::feed {

// Where the reception status line and the warnings while decoding go.
struct StatusOutput {
  std::ostream& stream;
  bool terminal;
};

// For a multiplex or I/Q input. Live input (a pipe or FIFO) stamps its groups with the clock;
// a recording with the time in it since its start.
OpenedSource openSignalSource(const FeedOptions& options, StatusOutput status,
                              const std::atomic<bool>& stop);

}  // namespace tavimor::feed
