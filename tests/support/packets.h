// Building the nine-byte packets a receiver sends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavimor::testing {

inline std::string packet(std::uint16_t blockA, std::uint16_t blockB, std::uint16_t blockC,
                          std::uint16_t blockD, std::uint8_t lead = 0) {
  std::string bytes(1, static_cast<char>(lead));
  for (const std::uint16_t block : {blockA, blockB, blockC, blockD}) {
    bytes += static_cast<char>(block >> 8);
    bytes += static_cast<char>(block & 0xFF);
  }
  return bytes;
}

// Two characters as block C or D carries them, the first in the high byte.
constexpr std::uint16_t chars(char high, char low) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(high) << 8 |
                                    static_cast<unsigned char>(low));
}

// Group 0A: block B carries TP, PTY, TA, M/S, the DI bit and the segment address; D two PS chars.
inline std::string group0A(std::uint16_t pi, std::uint16_t blockB, std::string_view psPair) {
  return packet(pi, blockB, 0, chars(psPair[0], psPair[1]));
}

// Group 2A: block B carries the text A/B flag and the segment address; C and D four characters.
inline std::string group2A(std::uint16_t pi, bool textB, int segment, std::string_view text) {
  const auto blockB = static_cast<std::uint16_t>(0x2000 | (textB ? 0x10 : 0) | segment);
  return packet(pi, blockB, chars(text[0], text[1]), chars(text[2], text[3]));
}

}  // namespace tavimor::testing
