// Programme service name: the station's eight characters, two per group 0 packet.
#pragma once

#include <string>
#include <string_view>

#include "block_b_header.h"
#include "display_fields.h"

namespace tavimor {

inline constexpr std::string_view kEmptyPsName = "________";

// For group 0 packets, places block D's two characters at the segment address; then shows
// psBuffer in lblPS whatever the group. groupPacket is a read of at least nine bytes.
void decodeProgrammeServiceName(const GroupHeader& header, std::string_view groupPacket,
                                std::string& psBuffer, DisplayFields& fields);

}  // namespace tavimor
