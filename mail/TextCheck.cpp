#include "mail/TextCheck.h"

#include "mail/ServiceJisSjis.h"
#include "support/Cp932.h"
#include "vertical/WidthConversion.h"

#include <QHash>

#include <algorithm>

namespace TextCheck {
namespace {

const QString kGeta = QStringLiteral("〓");

// Kanji of the NEC and IBM extensions that have no JIS X 0208 code and that
// no normalization maps: their everyday forms.
const QHash<char32_t, QString>& kanjiForms() {
  static const QHash<char32_t, QString> forms = {
      {0x9AD9, QStringLiteral("高")}, {0xFA11, QStringLiteral("崎")},  {0x5FB7, QStringLiteral("徳")},
      {0x7028, QStringLiteral("瀬")}, {0x6FF5, QStringLiteral("浜")},  {0x6801, QStringLiteral("柳")},
      {0x663B, QStringLiteral("昂")}, {0x20BB7, QStringLiteral("吉")}, {0x9ED1, QStringLiteral("黒")},
      {0x9DD7, QStringLiteral("鴎")}, {0x5C5B, QStringLiteral("屏")},  {0x7D5C, QStringLiteral("絣")},
  };
  return forms;
}

bool isHalfKana(char32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }
bool isVoicedMark(char32_t c) { return c == 0xFF9E || c == 0xFF9F; }

// What becomes of one character: stored as typed (or not), sent as typed (or not).
struct Fate {
  bool storable = true;
  bool sendable = true;
};

Fate fateOf(char32_t c) {
  if (c < 0x80) return {};
  if (c > 0xFFFF) return {false, false};
  const std::uint16_t code = Cp932::CodeOf(static_cast<char16_t>(c));
  if (code == Cp932::kNoCode) return {false, false};
  // Half-width katakana go out full-width; the few other one-byte codes have
  // no place in the mail at all.
  if (code < 0x100) return {true, false};
  std::uint8_t lead = static_cast<std::uint8_t>(code >> 8);
  std::uint8_t trail = static_cast<std::uint8_t>(code & 0xFF);
  ServiceJisSjis::PairToJis(lead, trail);
  const int row = lead - 0x20;
  // JIS X 0208 fills rows 1 to 8 and 16 to 84; row 13 is NEC's, 89 and up
  // the IBM extensions, 95 and up the user-defined area.
  const bool jis = lead != 0 && ((row >= 1 && row <= 8) || (row >= 16 && row <= 84));
  return {true, jis};
}

bool sendable(const QString& text) {
  for (char32_t c : text.toUcs4())
    if (!fateOf(c).sendable) return false;
  return true;
}

QString roman(int n, bool upper) {
  static const char* const kUpper[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X"};
  const QString r = QString::fromLatin1(kUpper[n]);
  return upper ? r : r.toLower();
}

}  // namespace

QString ReplacementOf(const QString& character) {
  const QList<uint> codes = character.toUcs4();
  if (codes.isEmpty()) return QString();
  const char32_t c = codes.front();
  if (isHalfKana(c)) return WidthConversion::KanaToWide(character);
  if (c >= 0x2460 && c <= 0x2473) return u'(' + QString::number(c - 0x2460 + 1) + u')';  // ① ... ⑳
  if (c >= 0x2160 && c <= 0x2169) return roman(static_cast<int>(c - 0x2160), true);      // Ⅰ ... Ⅹ
  if (c >= 0x2170 && c <= 0x2179) return roman(static_cast<int>(c - 0x2170), false);     // ⅰ ... ⅹ
  if (const auto it = kanjiForms().constFind(c); it != kanjiForms().constEnd()) return *it;
  // ㍉ to ミリ, № to No, ㈱ to (株), the compatibility kanji to their unified forms.
  const QString compatible = character.normalized(QString::NormalizationForm_KC);
  if (compatible != character && sendable(compatible)) return compatible;
  // Accented Latin letters without their accents.
  QString bare;
  for (QChar d : character.normalized(QString::NormalizationForm_D))
    if (d.category() != QChar::Mark_NonSpacing) bare += d;
  if (!bare.isEmpty() && bare != character && sendable(bare)) return bare;
  return QString();
}

void Scan(const QString& text, const QString& place, QList<Finding>& findings) {
  const QList<uint> codes = text.toUcs4();
  for (qsizetype i = 0; i < codes.size(); ++i) {
    const char32_t c = codes[i];
    const Fate fate = fateOf(c);
    if (fate.sendable) continue;
    QString character = QString::fromUcs4(&c, 1);
    if (isHalfKana(c) && i + 1 < codes.size() && isVoicedMark(codes[i + 1]) && !isVoicedMark(c)) {
      character += QChar(static_cast<char16_t>(codes[i + 1]));
      ++i;
    }
    Finding* found = nullptr;
    for (Finding& f : findings)
      if (f.Character == character) found = &f;
    if (found == nullptr) {
      const QString replacement = ReplacementOf(character);
      findings.append({character, {}, fate.storable, replacement.isEmpty() ? kGeta : replacement});
      found = &findings.last();
    }
    if (!found->Places.contains(place)) found->Places.append(place);
  }
}

QString Replace(const QString& text) {
  QList<Finding> findings;
  Scan(text, QString(), findings);
  if (findings.isEmpty()) return text;
  QString out = text;
  // Pairs (a kana with its voiced mark) before the single characters.
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.Character.size() > b.Character.size(); });
  for (const Finding& f : findings) out.replace(f.Character, f.Replacement);
  return out;
}

QString Describe(const QList<Finding>& findings) {
  QStringList lines;
  for (const Finding& f : findings) {
    QString codes;
    for (char32_t c : f.Character.toUcs4())
      codes +=
          QStringLiteral("U+") + QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, u'0') + u' ';
    lines << QStringLiteral("「") + f.Character + QStringLiteral("」 ") + codes.trimmed() + QStringLiteral("　") +
                 f.Places.join(QStringLiteral("・")) + QStringLiteral("　→ ") + f.Replacement;
  }
  return lines.join(QStringLiteral("\r\n"));
}

}  // namespace TextCheck
