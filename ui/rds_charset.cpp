// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/rds_charset.h"

#include <array>

namespace tavimor {
namespace {

// RDS basic character table (EN 50067 annex E), bytes 0x80 to 0xFF; 0xFF is unassigned.
// clang-format off
constexpr std::array<char16_t, 128> kUpperHalf{
//  x0    x1    x2    x3    x4    x5    x6    x7    x8    x9    xA    xB    xC    xD    xE    xF
    u'á', u'à', u'é', u'è', u'í', u'ì', u'ó', u'ò', u'ú', u'ù', u'Ñ', u'Ç', u'Ş', u'ß', u'¡', u'Ĳ',       // 8x
    u'â', u'ä', u'ê', u'ë', u'î', u'ï', u'ô', u'ö', u'û', u'ü', u'ñ', u'ç', u'ş', u'ğ', u'ı', u'ĳ',       // 9x
    u'ª', u'α', u'©', u'‰', u'Ğ', u'ě', u'ň', u'ő', u'π', u'€', u'£', u'$', u'←', u'↑', u'→', u'↓',       // Ax
    u'º', u'¹', u'²', u'³', u'±', u'İ', u'ń', u'ű', u'µ', u'¿', u'÷', u'°', u'¼', u'½', u'¾', u'§',       // Bx
    u'Á', u'À', u'É', u'È', u'Í', u'Ì', u'Ó', u'Ò', u'Ú', u'Ù', u'Ř', u'Č', u'Š', u'Ž', u'Đ', u'Ŀ',       // Cx
    u'Â', u'Ä', u'Ê', u'Ë', u'Î', u'Ï', u'Ô', u'Ö', u'Û', u'Ü', u'ř', u'č', u'š', u'ž', u'đ', u'ŀ',       // Dx
    u'Ã', u'Å', u'Æ', u'Œ', u'ŷ', u'Ý', u'Õ', u'Ø', u'Þ', u'Ŋ', u'Ŕ', u'Ć', u'Ś', u'Ź', u'Ŧ', u'ð',       // Ex
    u'ã', u'å', u'æ', u'œ', u'ŵ', u'ý', u'õ', u'ø', u'þ', u'ŋ', u'ŕ', u'ć', u'ś', u'ź', u'ŧ', kNoGlyph,  // Fx
};
// clang-format on

void appendUtf8(char16_t character, std::string& out) {
  if (character < 0x80) {
    out += static_cast<char>(character);
  } else if (character < 0x800) {
    out += static_cast<char>(0xC0 | character >> 6);
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | character >> 12);
    out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  }
}

template <typename Byte>
std::string utf8Of(std::span<const Byte> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const Byte byte : bytes)
    appendUtf8(rdsCharacter(static_cast<unsigned char>(byte)), text);
  return text;
}

}  // namespace

char16_t rdsCharacter(unsigned char byte) {
  if (byte >= 0x80) return kUpperHalf[byte - 0x80];
  if (byte >= 0x20 && byte < 0x7F) return byte;
  return kNoGlyph;
}

std::string rdsToUtf8(std::string_view bytes) {
  return utf8Of(std::span<const char>(bytes));
}

std::string rdsToUtf8(std::span<const std::uint8_t> bytes) {
  return utf8Of(bytes);
}

}  // namespace tavimor
