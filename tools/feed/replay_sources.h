// SPDX-License-Identifier: GPL-3.0-or-later
// Groups replayed rather than decoded: from a hex group log, or from the demo station.
#pragma once

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <variant>

#include "tools/feed/feed_options.h"
#include "tools/feed/group_source.h"

namespace tavimor::feed {

// Why a source could not be opened: what, and what is wrong with it.
struct SourceError {
  std::string subject;
  std::string problem;
};
using OpenedSource = std::variant<std::unique_ptr<GroupSource>, SourceError>;

// The log of options.input, "-" for standard input: read as lines arrive if that is a pipe
// or a terminal. Malformed lines are reported to diagnostics as they come.
OpenedSource openLogSource(const FeedOptions& options, std::ostream& diagnostics,
                           const std::atomic<bool>& stop);

std::unique_ptr<GroupSource> makeDemoSource(const FeedOptions& options,
                                            const std::atomic<bool>& stop);

}  // namespace tavimor::feed
