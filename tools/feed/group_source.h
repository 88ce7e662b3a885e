// SPDX-License-Identifier: GPL-3.0-or-later
// Where the feeder takes its groups from: a hex group log or the demo station.
#pragma once

#include <optional>

#include "decode/rds_group.h"

namespace tavimor::feed {

class GroupSource {
 public:
  virtual ~GroupSource() = default;
  // The next group to send, or nothing when the source has run out.
  virtual std::optional<RdsGroup> next() = 0;
};

}  // namespace tavimor::feed
