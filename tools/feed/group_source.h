// SPDX-License-Identifier: GPL-3.0-or-later
// Where the feeder takes its groups from: a hex group log (a file, or lines as they arrive), the
// demo station, or an FM multiplex or I/Q signal decoded here. Each source paces its own groups.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/feed/group_log.h"

namespace tavimor::feed {

struct FedGroup {
  LogBlocks blocks;
  // When the group was on air, for log lines, if known.
  std::optional<LogTime> time;
};

// What became of the groups a source gave.
struct FeedOutcome {
  std::uint64_t sent = 0;
  // Groups with a lost block, which only a log line can carry.
  std::uint64_t skippedIncomplete = 0;
  bool writeFailed = false;
};

class GroupSource {
 public:
  virtual ~GroupSource() = default;
  // The next group once it is due; nothing at the end of the source or once a stop is requested.
  virtual std::optional<FedGroup> next() = 0;
  // Ends the source after its last group: what to say on standard error, whole lines.
  virtual std::string finish(const FeedOutcome& outcome) = 0;
  // Whether the source ended on a fault of its own.
  virtual bool failed() const = 0;
};

}  // namespace tavimor::feed
