#include "gui/editor/FancyMode.h"

#include "support/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FancyMode {

QString Heading() { return QStringLiteral("第***回 「」"); }
QString MenuCaption() { return QStringLiteral("空想の住人(&F)"); }

bool Enabled(const QStringList& arguments) {
  return arguments.size() == 1 && arguments.front() == QStringLiteral("-fancy");
}

std::optional<QString> FancyLine(const QString& programFolder) {
  const QString path = QDir(programFolder).filePath(QStringLiteral("fancy.dat"));
  if (!QFileInfo(path).isFile()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  // An empty file has no first line to use.
  if (bytes.isEmpty()) return std::nullopt;
  // A file written here ends its lines with LF alone: that ends a line too.
  qsizetype end = 0;
  while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
  return Cp932::Decode(QByteArrayView(bytes).first(end));
}

QString Stamp(const QDateTime& when) { return when.toString(QStringLiteral("yy/MM/dd HH:mm:ss")); }

QString Wrap(const QString& vertical, const std::optional<QString>& line, const QDateTime& when) {
  const QString crlf = QStringLiteral("\r\n");
  QString out = Heading() + crlf + crlf + vertical + crlf;
  if (line) out += *line + crlf;
  return out + Stamp(when);
}

}  // namespace FancyMode
