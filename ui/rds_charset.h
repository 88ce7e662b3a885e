// How received station text is shown: RDS bytes to Unicode, one character per byte.
#pragma once

#include <QString>

#include <string_view>

namespace tavimor {

// Shown for bytes that have no glyph, so every byte still takes exactly one column.
inline constexpr char16_t kNoGlyph = u'\u00B7';

// 0x20-0x7E as ASCII, 0x80-0xFE by the RDS basic character table, anything else kNoGlyph.
char16_t rdsCharacter(unsigned char byte);

QString rdsToDisplay(std::string_view bytes);

}  // namespace tavimor
