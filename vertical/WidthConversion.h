#pragma once

#include <QList>
#include <QString>

// Full-width forms for vertical text in wide mode.
namespace WidthConversion {

// The full-width form of one character: ASCII U+0021-U+007E to U+FF01-U+FF5E,
// U+0020 to U+3000, half-width katakana and punctuation to their full-width
// forms (ﾞ and ﾟ to ゛ and ゜), ¢ £ ¬ ¦ ¯ ¥ ₩ to U+FFE0-U+FFE6. Everything else is
// returned unchanged.
inline char32_t ToWide(char32_t c);

// The full-width form of a text. A half-width kana followed by ﾞ or ﾟ within the
// text becomes the one voiced kana (ｶﾞ -> ガ); a lone ﾞ or ﾟ becomes ゛ or ゜.
QString ToWide(QStringView text);

// The text with only its half-width katakana and punctuation (U+FF61-U+FF9F)
// made full-width, composed as ToWide does; everything else stays.
QString KanaToWide(QStringView text);

namespace detail {
extern const char16_t kHalfKana[0x3F];  // U+FF61..U+FF9F
}

inline char32_t ToWide(char32_t c) {
  if (c >= 0x21 && c <= 0x7E) return c + 0xFEE0;
  if (c == 0x20) return 0x3000;
  if (c >= 0xFF61 && c <= 0xFF9F) return detail::kHalfKana[c - 0xFF61];
  switch (c) {
    case 0x00A2:
      return 0xFFE0;
    case 0x00A3:
      return 0xFFE1;
    case 0x00AC:
      return 0xFFE2;
    case 0x00AF:
      return 0xFFE3;
    case 0x00A6:
      return 0xFFE4;
    case 0x00A5:
      return 0xFFE5;
    case 0x20A9:
      return 0xFFE6;
    default:
      return c;
  }
}

}  // namespace WidthConversion
