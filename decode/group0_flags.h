// Group 0 switching flags: TP and TA, then M/S and one decoder identification flag per packet.
#pragma once

#include "block_b_header.h"
#include "display_fields.h"

namespace tavimor {

// TP into lblTP, TA into lblTA. These captions are the only store of the two flags.
void decodeTrafficFlags(const GroupHeader& header, DisplayFields& fields);

// M/S into lblMS, and the DI bit into the DI field that the segment address selects.
void decodeProgrammeFlags(const GroupHeader& header, DisplayFields& fields);

}  // namespace tavimor
