// Speed of the vertical-writing engine on generated bodies of 64 KiB, 1 MiB and
// 4 MiB of UTF-8, with and without a progress receiver.
#include "vertical/AppGlyphSwapAccess.h"
#include "vertical/MyTategakiEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace {

class Receiver : public QObject {
  Q_OBJECT
 public:
  int calls = 0;
  Q_INVOKABLE void CallBack_TategakiEngine(int) { ++calls; }
};

// Kanji, kana, ASCII, punctuation of the default table, line breaks and quoted lines.
QString makeBody(qsizetype utf8Bytes) {
  const QStringList words = {QStringLiteral("縦書"),     QStringLiteral("メール"), QStringLiteral("です"),
                             QStringLiteral("、"),       QStringLiteral("。"),     QStringLiteral("「引用」"),
                             QStringLiteral("ちょっと"), QStringLiteral("ー"),     QStringLiteral("Tallpost"),
                             QStringLiteral(" "),        QStringLiteral("（注）"), QStringLiteral("漢字かな交じり文")};
  QRandomGenerator rng(42);
  QString body;
  qsizetype bytes = 0;
  qsizetype lineLength = 0;
  bool lineStart = true;
  while (bytes < utf8Bytes) {
    QString piece;
    if (lineStart && rng.bounded(8) == 0) piece = QStringLiteral("> ");
    piece += words[static_cast<int>(rng.bounded(words.size()))];
    lineStart = false;
    lineLength += piece.size();
    if (lineLength > 30 + static_cast<qsizetype>(rng.bounded(40))) {
      piece += rng.bounded(4) == 0 ? QStringLiteral("\r\n\r\n") : QStringLiteral("\r\n");
      lineLength = 0;
      lineStart = true;
    }
    bytes += piece.toUtf8().size();
    body += piece;
  }
  return body;
}

double seconds(MyTategakiEngine& engine, const QString& body, const GlyphSwapTable& table, int pl, int lc, int ls,
               qsizetype* outChars) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer t;
    t.start();
    const QString out =
        engine.ConvertToVertical(body, pl, lc, QStringLiteral("－"), table, 1, ls, true, QStringLiteral(">"));
    best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e9);
    *outChars = out.size();
  }
  return best;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  GlyphSwapTable table;
  if (!GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), table)) {
    std::fprintf(stderr, "cannot read the default table\n");
    return 1;
  }
  struct Layout {
    int pl, lc, ls;
  };
  const Layout layouts[] = {{20, 20, 1}, {40, 40, 2}};
  const qsizetype sizes[] = {64 * 1024, 1024 * 1024, 4 * 1024 * 1024};
  std::printf("%-10s %-9s %-9s %10s %12s %16s\n", "input", "layout", "receiver", "seconds", "input MB/s",
              "output chars/s");
  // An optional argument such as "20x20" measures that layout only.
  const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  for (const Layout& l : layouts) {
    if (!only.isEmpty() && only != QStringLiteral("%1x%2").arg(l.pl).arg(l.lc)) continue;
    double t1 = 0, t4 = 0;
    for (qsizetype size : sizes) {
      const QString body = makeBody(size);
      const double mb = static_cast<double>(body.toUtf8().size()) / 1e6;
      for (bool withReceiver : {false, true}) {
        MyTategakiEngine engine;
        Receiver receiver;
        if (withReceiver) {
          engine.SetProgressReceiver(&receiver);
          engine.SetProgressMethod(QStringLiteral("CallBack_TategakiEngine"));
        }
        qsizetype outChars = 0;
        const double s = seconds(engine, body, table, l.pl, l.lc, l.ls, &outChars);
        std::printf("%-10lld %2dx%-2d ls%d %-9s %10.4f %12.1f %16.3g\n", static_cast<long long>(size), l.pl, l.lc, l.ls,
                    withReceiver ? "yes" : "no", s, mb / s, static_cast<double>(outChars) / s);
        if (!withReceiver && size == 1024 * 1024) t1 = s;
        if (!withReceiver && size == 4 * 1024 * 1024) t4 = s;
      }
    }
    std::printf("%dx%d ls%d: 4 MiB / 1 MiB time ratio %.2f\n", l.pl, l.lc, l.ls, t4 / t1);
  }
  return 0;
}

#include "engine_bench.moc"
