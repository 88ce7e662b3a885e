// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a traffic announcement is on air: what the banner shows and traffic.txt says.
#pragma once

#include <cstdint>

namespace tavimor {

enum class TrafficState : std::uint8_t { NoAnnouncement, Announcement };

}  // namespace tavimor
