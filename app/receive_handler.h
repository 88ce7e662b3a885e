// One read from the receiver through every stage: raw and hex display, decoding, traffic status.
#pragma once

#include <string>
#include <string_view>

#include "decoder_state.h"
#include "display_fields.h"
#include "packet.h"
#include "status_file.h"

namespace tavimor {

// Two upper-case hex digits for each of the first nine bytes of the read.
std::string toHexPacket(std::string_view read);

// Shows the read in Text1 and its hex in Text2. A read of a whole packet is then decoded; a
// shorter fragment is only shown, so that it cannot put invented values into the fields or
// shift the station name and RadioText buffers.
void handleRead(std::string_view read, DecoderState& state, DisplayFields& fields,
                const StatusFile& statusFile);

}  // namespace tavimor
