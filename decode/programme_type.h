// SPDX-License-Identifier: GPL-3.0-or-later
// The European programme type (PTY) names, by code.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavimor {

inline constexpr unsigned kProgrammeTypeCount = 32;

// Five bits carry the code: bits above them are not part of it.
std::string_view programmeTypeName(std::uint8_t code);

}  // namespace tavimor
