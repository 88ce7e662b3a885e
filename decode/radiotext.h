// RadioText: 64 characters sent four at a time in group 2A, kept in one buffer per text A/B flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "block_b_header.h"
#include "display_fields.h"

namespace tavimor {

inline constexpr std::size_t kRadioTextLength = 64;

// More groups than this since the last A/B change and the active buffer is shown as the text.
inline constexpr std::int16_t kCommitAfterGroups = 29;
inline constexpr std::int16_t kMaxGroupCount = 1000;

struct RadioTextState {
  std::string rtBufferA = std::string(kRadioTextLength, '_');  // text A/B flag '0'
  std::string rtBufferB = std::string(kRadioTextLength, '_');  // text A/B flag '1'
  std::string radioText;                                       // last committed text
  std::int16_t rtGroupCount = 0;  // 2A groups since the flag last changed
  char lastTextAB = '2';          // flag of the previous 2A group; '2' before the first
};

// For group 2A packets, splices the last four bytes of groupPacket into the buffer the A/B flag
// selects, counts, commits and colours the A/B captions; then shows both buffers and the
// committed text whatever the group. groupPacket is a read of at least nine bytes.
void decodeRadioText(const GroupHeader& header, std::string_view hexPacket,
                     std::string_view groupPacket, RadioTextState& state, DisplayFields& fields);

}  // namespace tavimor
