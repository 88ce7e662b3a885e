#include "rds_charset.h"

#include <array>

namespace tavimor {
namespace {

// RDS basic character table (EN 50067 annex E), bytes 0x80 to 0xFF; 0xFF is unassigned.
constexpr std::array<char16_t, 128> kUpperHalf{
    // 0x80
    u'á',
    u'à',
    u'é',
    u'è',
    u'í',
    u'ì',
    u'ó',
    u'ò',
    u'ú',
    u'ù',
    u'Ñ',
    u'Ç',
    u'Ş',
    u'ß',
    u'¡',
    u'Ĳ',
    // 0x90
    u'â',
    u'ä',
    u'ê',
    u'ë',
    u'î',
    u'ï',
    u'ô',
    u'ö',
    u'û',
    u'ü',
    u'ñ',
    u'ç',
    u'ş',
    u'ğ',
    u'ı',
    u'ĳ',
    // 0xA0
    u'ª',
    u'α',
    u'©',
    u'‰',
    u'Ğ',
    u'ě',
    u'ň',
    u'ő',
    u'π',
    u'€',
    u'£',
    u'$',
    u'←',
    u'↑',
    u'→',
    u'↓',
    // 0xB0
    u'º',
    u'¹',
    u'²',
    u'³',
    u'±',
    u'İ',
    u'ń',
    u'ű',
    u'µ',
    u'¿',
    u'÷',
    u'°',
    u'¼',
    u'½',
    u'¾',
    u'§',
    // 0xC0
    u'Á',
    u'À',
    u'É',
    u'È',
    u'Í',
    u'Ì',
    u'Ó',
    u'Ò',
    u'Ú',
    u'Ù',
    u'Ř',
    u'Č',
    u'Š',
    u'Ž',
    u'Đ',
    u'Ŀ',
    // 0xD0
    u'Â',
    u'Ä',
    u'Ê',
    u'Ë',
    u'Î',
    u'Ï',
    u'Ô',
    u'Ö',
    u'Û',
    u'Ü',
    u'ř',
    u'č',
    u'š',
    u'ž',
    u'đ',
    u'ŀ',
    // 0xE0
    u'Ã',
    u'Å',
    u'Æ',
    u'Œ',
    u'ŷ',
    u'Ý',
    u'Õ',
    u'Ø',
    u'Þ',
    u'Ŋ',
    u'Ŕ',
    u'Ć',
    u'Ś',
    u'Ź',
    u'Ŧ',
    u'ð',
    // 0xF0
    u'ã',
    u'å',
    u'æ',
    u'œ',
    u'ŵ',
    u'ý',
    u'õ',
    u'ø',
    u'þ',
    u'ŋ',
    u'ŕ',
    u'ć',
    u'ś',
    u'ź',
    u'ŧ',
    kNoGlyph,
};

}  // namespace

char16_t rdsCharacter(unsigned char byte) {
  if (byte >= 0x80) return kUpperHalf[byte - 0x80];
  if (byte >= 0x20 && byte < 0x7F) return byte;
  return kNoGlyph;
}

QString rdsToDisplay(std::string_view bytes) {
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char byte : bytes)
    *out++ = QChar(rdsCharacter(static_cast<unsigned char>(byte)));
  return text;
}

}  // namespace tavimor
