#include "block_b_header.h"

namespace tavimor {
namespace {

// Positions in hexPacket, counted from 0.
constexpr std::size_t kPiDigits = 2;
constexpr std::size_t kGroupDigit = 6;
constexpr std::size_t kBits8Digit = 7;
constexpr std::size_t kBits9Digit = 8;
constexpr std::size_t kBits10Digit = 9;

}  // namespace

int hexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return 0;
}

std::string_view nibbleBits(char hexDigit) {
  return NibbleBits[hexDigitValue(hexDigit)];
}

GroupHeader decodeBlockBHeader(std::string_view hexPacket, DisplayFields& fields) {
  fields.setCaption(Field::lblPI, hexPacket.substr(kPiDigits, 4));

  GroupHeader header;
  const char versionDigit = hexPacket[kBits8Digit];
  // The version bit B0 is the top bit of this digit.
  const char version = hexDigitValue(versionDigit) < 8 ? 'A' : 'B';
  header.groupType = std::to_string(hexDigitValue(hexPacket[kGroupDigit])) + version;
  fields.setCaption(Field::lblGroup, header.groupType);

  header.bits8 = nibbleBits(versionDigit);
  header.bits9 = nibbleBits(hexPacket[kBits9Digit]);
  header.bits10 = nibbleBits(hexPacket[kBits10Digit]);
  header.textAB = header.bits9.back();
  header.segmentCode = header.bits10.substr(2);
  return header;
}

}  // namespace tavimor
