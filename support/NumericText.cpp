#include "support/NumericText.h"

#include <QLocale>

#include <cmath>

namespace NumericText {
namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

QString AsciiForm(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u >= 0xFF10 && u <= 0xFF19)
      c = QChar(u - 0xFF10 + '0');
    else if (u == 0xFF0B)
      c = QLatin1Char('+');
    else if (u == 0xFF0D || u == 0x2212)
      c = QLatin1Char('-');
    else if (u == 0xFF0E)
      c = QLatin1Char('.');
    else if (u == 0xFF45)
      c = QLatin1Char('e');
    else if (u == 0xFF25)
      c = QLatin1Char('E');
    else if (u == 0x3000)
      c = QLatin1Char(' ');
  }
  return out;
}

bool IsNumeric(const QString& text) {
  const QString t = AsciiForm(text).trimmed();
  qsizetype i = 0;
  const qsizetype n = t.size();
  if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
  qsizetype digits = 0;
  while (i < n && isDigit(t[i])) ++i, ++digits;
  if (i < n && t[i] == QLatin1Char('.')) {
    ++i;
    while (i < n && isDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
    ++i;
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
    qsizetype expDigits = 0;
    while (i < n && isDigit(t[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == n;
}

std::optional<std::int64_t> ToInteger(const QString& text, std::int64_t min, std::int64_t max) {
  if (!IsNumeric(text)) return std::nullopt;
  // Numbers of interest are far below 2^53, where a double is exact; the range
  // test below refuses everything else before it could wrap around.
  bool ok = false;
  const double value = QLocale::c().toDouble(AsciiForm(text).trimmed(), &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // default rounding: half to even
  if (rounded < static_cast<double>(min) || rounded > static_cast<double>(max)) return std::nullopt;
  return static_cast<std::int64_t>(rounded);
}

QString SingleText(float value) {
  QString text = QString::number(static_cast<double>(value), 'g', 7);
  text.replace(QLatin1Char('e'), QLatin1Char('E'));
  return text;
}

}  // namespace NumericText
