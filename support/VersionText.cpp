#include "support/VersionText.h"

namespace VersionText {

QString VersionString() { return QStringLiteral(TALLPOST_VERSION_STRING); }

QString ToFormalKanji(const QString& text) {
  static const QString numerals = QStringLiteral("零壱弐参四伍六七八九");
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
      out += numerals[c.unicode() - u'0'];
    else
      out += c;
  }
  return out;
}

}  // namespace VersionText
