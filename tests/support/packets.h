// SPDX-License-Identifier: GPL-3.0-or-later
// Building the nine-byte packets a receiver sends, as the bytes of one read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decode/packet_framer.h"
#include "decode/rds_group.h"

namespace tavimor::testing {

inline std::string packet(std::uint16_t blockA, std::uint16_t blockB, std::uint16_t blockC,
                          std::uint16_t blockD, std::uint8_t lead = 0) {
  const PacketBytes bytes = toPacket({blockA, blockB, blockC, blockD}, lead);
  return {bytes.begin(), bytes.end()};
}

// Two characters as block C or D carries them, the first in the high byte.
constexpr std::uint16_t chars(char high, char low) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(high) << 8 |
                                    static_cast<unsigned char>(low));
}

// Group 0A: block B carries TP, PTY, TA, M/S, the DI bit and the segment address; D two PS chars.
inline RdsGroup group0A(std::uint16_t pi, std::uint16_t blockB, std::string_view psPair) {
  return {pi, blockB, 0, chars(psPair[0], psPair[1])};
}

// Group 2A: block B carries the text A/B flag and the segment address; C and D four characters.
inline RdsGroup group2A(std::uint16_t pi, bool textB, std::size_t segment, std::string_view text) {
  const auto blockB = static_cast<std::uint16_t>(0x2000 | (textB ? 0x10 : 0) | segment);
  return {pi, blockB, chars(text[0], text[1]), chars(text[2], text[3])};
}

inline std::string packet(const RdsGroup& group) {
  return packet(group.a, group.b, group.c, group.d);
}

// One to eight bytes, as the line left them before a pause.
inline Fragment fragment(std::string_view bytes) {
  const std::vector<std::uint8_t> unsignedBytes(bytes.begin(), bytes.end());
  return Fragment(unsignedBytes);
}

// Bytes as the line carried them: a packet's, or a fragment's.
inline std::string bytesOf(std::span<const std::uint8_t> bytes) {
  return {bytes.begin(), bytes.end()};
}

// Two upper-case hex digits per byte, as the hex box shows a read.
inline std::string hexOf(std::string_view bytes) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string hex;
  for (const char byte : bytes) {
    hex += kDigits[static_cast<unsigned char>(byte) >> 4];
    hex += kDigits[static_cast<unsigned char>(byte) & 0xF];
  }
  return hex;
}

}  // namespace tavimor::testing
