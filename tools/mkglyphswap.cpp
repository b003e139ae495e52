// Turns the readable default character table (UTF-8 text) into GlyphSwap.dat.
//
// One row per line: Horizontal, TAB, Vertical (may be empty), TAB, flag
// (1 = line-head prohibited, 0 = not). Empty lines and lines starting with "#"
// are skipped. Every character must survive CP932, the encoding of the table.
#include "support/Cp932.h"
#include "vertical/AppGlyphSwapAccess.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mkglyphswap SOURCE.txt OUTPUT.dat\n");
    return 2;
  }
  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "mkglyphswap: cannot read %s\n", argv[1]);
    return 1;
  }
  const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
  GlyphSwapTable table;
  int lineNo = 0;
  for (QString line : lines) {
    ++lineNo;
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList f = line.split(QLatin1Char('\t'));
    if (f.size() != 3 || f[0].isEmpty() || (f[2] != QLatin1String("0") && f[2] != QLatin1String("1"))) {
      std::fprintf(stderr, "%s:%d: expected HORIZONTAL<TAB>VERTICAL<TAB>0|1\n", argv[1], lineNo);
      return 1;
    }
    for (const QString& field : {f[0], f[1]}) {
      if (!Cp932::CanEncode(field)) {
        std::fprintf(stderr, "%s:%d: '%s' cannot be stored in CP932\n", argv[1], lineNo, field.toUtf8().constData());
        return 1;
      }
    }
    table.append({f[0], f[1], f[2] == QLatin1String("1")});
  }
  if (table.isEmpty()) {
    std::fprintf(stderr, "%s: no rows\n", argv[1]);
    return 1;
  }
  QSaveFile out(QString::fromLocal8Bit(argv[2]));
  if (!out.open(QIODevice::WriteOnly) || out.write(EncodeGlyphSwapData(table)) < 0 || !out.commit()) {
    std::fprintf(stderr, "mkglyphswap: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
