// Programme type: the five PTY bits of a group 0 packet as number and name.
#pragma once

#include <array>
#include <string_view>

#include "block_b_header.h"
#include "display_fields.h"

namespace tavimor {

// The European programme type names, indexed by PTY code.
extern const std::array<std::string_view, 32> PtyNames;

// For group 0 packets, lblPTY becomes e.g. "10 - Pop Music"; other groups leave it alone.
void decodeProgrammeType(const GroupHeader& header, DisplayFields& fields);

}  // namespace tavimor
