// SPDX-License-Identifier: GPL-3.0-or-later
// How station text is shown: each received byte as one character of the RDS basic character
// table, so that every byte takes exactly one column.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavimor {

// Shown for bytes that have no glyph.
inline constexpr char16_t kNoGlyph = u'\u00B7';

// 0x20-0x7E as ASCII, 0x80-0xFE by the RDS basic character table, anything else kNoGlyph.
char16_t rdsCharacter(unsigned char byte);

// The bytes as UTF-8 text, one character per byte.
std::string rdsToUtf8(std::string_view bytes);
std::string rdsToUtf8(std::span<const std::uint8_t> bytes);

}  // namespace tavimor
