// The first decode stage: PI and group type, and block B cut into bit texts for the later stages.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "display_fields.h"

namespace tavimor {

// Each upper-case hexadecimal digit as four bit characters, most significant bit first.
inline constexpr std::array<std::string_view, 16> NibbleBits{
    "0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
    "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111",
};

// 0 to 15 for '0'-'9' and 'A'-'F'; the packet's hex text holds nothing else.
int hexDigitValue(char digit);

std::string_view nibbleBits(char hexDigit);

// Block B of one packet, as the later stages read it.
struct GroupHeader {
  std::string groupType;         // group number in decimal and version: "0A", "2A", "15B"
  std::string_view bits8;        // block B bits 11-8
  std::string_view bits9;        // block B bits 7-4
  std::string_view bits10;       // block B bits 3-0
  char textAB = '0';             // block B bit 4
  std::string_view segmentCode;  // block B bits 1-0

  bool isGroup0() const { return groupType == "0A" || groupType == "0B"; }
};

// Shows PI and group type; hexPacket is the 18 hex digits of a complete packet.
GroupHeader decodeBlockBHeader(std::string_view hexPacket, DisplayFields& fields);

}  // namespace tavimor
