#include "vertical/WidthConversion.h"

namespace WidthConversion {
namespace detail {

// Full-width forms of U+FF61 (｡) to U+FF9F (ﾟ), in code order.
const char16_t kHalfKana[0x3F] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3,  // ｡｢｣､･ｦｧｨ
    0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC,  // ｩｪｫｬｭｮｯｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF,  // ｱｲｳｴｵｶｷｸ
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF,  // ｹｺｻｼｽｾｿﾀ
    0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD,  // ﾁﾂﾃﾄﾅﾆﾇﾈ
    0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF,  // ﾉﾊﾋﾌﾍﾎﾏﾐ
    0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA,  // ﾑﾒﾓﾔﾕﾖﾗﾘ
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,          // ﾙﾚﾛﾜﾝﾞﾟ
};

}  // namespace detail

namespace {

// The voiced (mark ﾞ) or semi-voiced (mark ﾟ) form of a half-width kana, or 0.
char32_t compose(char32_t base, char32_t mark) {
  if (mark == 0xFF9E) {
    if (base == 0xFF73) return 0x30F4;                              // ｳﾞ -> ヴ
    if (base >= 0xFF76 && base <= 0xFF84) return ToWide(base) + 1;  // ｶ..ﾄ
    if (base >= 0xFF8A && base <= 0xFF8E) return ToWide(base) + 1;  // ﾊ..ﾎ
  } else if (mark == 0xFF9F) {
    if (base >= 0xFF8A && base <= 0xFF8E) return ToWide(base) + 2;  // ﾊ..ﾎ
  }
  return 0;
}

void append(QString& out, char32_t c) {
  if (c < 0x10000) {
    out += QChar(static_cast<char16_t>(c));
  } else {
    out += QChar::highSurrogate(c);
    out += QChar::lowSurrogate(c);
  }
}

}  // namespace

namespace {

bool isHalfKana(char32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }

template <bool kanaOnly>
QString widen(QStringView text) {
  QString out;
  out.reserve(text.size());
  const QList<uint> cps = text.toUcs4();
  for (qsizetype i = 0; i < cps.size(); ++i) {
    if (i + 1 < cps.size()) {
      if (const char32_t voiced = compose(cps[i], cps[i + 1])) {
        append(out, voiced);
        ++i;
        continue;
      }
    }
    const auto c = static_cast<char32_t>(cps[i]);
    append(out, !kanaOnly || isHalfKana(c) ? ToWide(c) : c);
  }
  return out;
}

}  // namespace

QString ToWide(QStringView text) { return widen<false>(text); }

QString KanaToWide(QStringView text) {
  for (QChar c : text)
    if (isHalfKana(c.unicode())) return widen<true>(text);
  return text.toString();
}

}  // namespace WidthConversion
