#include "vertical/AppGlyphSwapAccess.h"

#include "support/AtomicFile.h"
#include "support/Cp932.h"

#include <QFile>

namespace {

// A flag field: hexadecimal text whose value fits in 16 bits.
bool parseFlag(const QString& text, bool& flag) {
  if (text.isEmpty()) return false;
  unsigned value = 0;
  for (QChar c : text) {
    const char16_t u = c.unicode();
    const int digit = (u >= u'0' && u <= u'9')   ? u - u'0'
                      : (u >= u'a' && u <= u'f') ? u - u'a' + 10
                      : (u >= u'A' && u <= u'F') ? u - u'A' + 10
                                                 : -1;
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFF) return false;
  }
  flag = value != 0;
  return true;
}

}  // namespace

bool GetGlyphSwapData(const QString& path, GlyphSwapTable& table) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  return DecodeGlyphSwapData(bytes, table);
}

bool DecodeGlyphSwapData(QByteArrayView bytes, GlyphSwapTable& table) {
  QString text = Cp932::Decode(bytes);
  if (text.isEmpty()) return false;
  qsizetype end = text.size();
  while (end > 0 && text[end - 1] == QChar(0)) --end;
  text.truncate(end);
  const QStringList fields = text.split(QChar(0));
  const qsizetype count = fields.size();
  for (qsizetype i = 0; i <= (count - 1) / 3; ++i) {
    if (fields[3 * i].isEmpty()) break;
    if (3 * i + 2 >= count) return false;
    GlyphSwapEntry entry;
    entry.Horizontal = fields[3 * i];
    entry.Vertical = fields[3 * i + 1];
    if (!parseFlag(fields[3 * i + 2], entry.LineHeadProhibited)) return false;
    table.resize(i + 1);
    table[i] = entry;
  }
  return true;
}

QByteArray EncodeGlyphSwapData(const GlyphSwapTable& table) {
  QString text;
  for (const GlyphSwapEntry& e : table) {
    text += e.Horizontal;
    text += QChar(0);
    text += e.Vertical;
    text += QChar(0);
    text += e.LineHeadProhibited ? QStringLiteral("FFFF") : QStringLiteral("0");
    text += QChar(0);
  }
  return Cp932::Encode(text);
}

bool PutGlyphSwapData(const QString& path, const GlyphSwapTable& table) {
  // An empty table would store as an empty file that no later start can load.
  if (table.isEmpty()) return false;
  return AtomicFile::Write(path, EncodeGlyphSwapData(table), AtomicFile::Existing::MustExist);
}
