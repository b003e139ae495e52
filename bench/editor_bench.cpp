// Speed of the editor window as the user feels it, under the offscreen
// platform: opening a stored mail with a 1 MiB body (and its vertical text),
// and converting a 1 MiB body in the window with the meter up.
#include "gui/QtDialogs.h"
#include "gui/editor/frmMessage.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/LocalTimeZone.h"
#include "vertical/MyTategakiEngine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double best(int runs, const std::function<double()>& job) {
  double t = 1e9;
  for (int i = 0; i < runs; ++i) t = std::min(t, job());
  return t;
}

// About 1 MiB of CP932: Japanese prose with punctuation and ASCII, in lines.
QString JapaneseBody(qsizetype bytes) {
  const QString line =
      QStringLiteral("今日は「縦書き」の試験です。Tallpost 2.1、よろしく！ ＡＢＣ１２３") + QStringLiteral("\r\n");
  QString body;
  qsizetype size = 0;
  while (size < bytes) {
    body += line;
    size += 2 * 40 + 2;
  }
  return body;
}

}  // namespace

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  AppState state(dir.path());
  if (!GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), state.GlyphSwap)) {
    std::fprintf(stderr, "cannot read %s\n", TALLPOST_DEFAULT_TABLE);
    return 1;
  }
  state.Settings.PageLines = 20;
  state.Settings.LineChars = 20;
  state.Settings.LineSpace = 1;
  state.Settings.ShowMeter = 1;
  state.SeparatorList = {QStringLiteral("（使用しない）")};
  NoDialogs dialogs;

  const QString body = JapaneseBody(1 << 20);
  MyTategakiEngine engine;
  const QString vertical = engine.ConvertToVertical(body, 20, 20, QString(), state.GlyphSwap,
                                                    MyTategakiEngine::kWideMode, 1, true, QStringLiteral(">"));
  MailRecord record;
  record.To = QStringLiteral("taro@example.jp");
  record.Subject = QStringLiteral("長いメール");
  record.Date = QDateTime::currentDateTime();
  record.MailBox = 2;
  record.BodyText = body;
  record.VerticalText = vertical;
  record.PageLines = 20;
  record.LineChars = 20;
  record.LineSpace = 1;
  if (!state.Store().WriteMailFile(0, record)) return 1;
  const double fileMiB = static_cast<double>(QFileInfo(state.Store().MailFilePath(0)).size()) / (1 << 20);

  const double open = best(5, [&] {
    QElapsedTimer t;
    t.start();
    auto* w = new frmMessage(state, dialogs, nullptr);
    w->Constructor(0, false);
    w->show();
    QCoreApplication::processEvents();
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    delete w;
    return s;
  });

  auto* w = new frmMessage(state, dialogs, nullptr);
  w->Constructor(-1, false);
  w->show();
  w->Body(0)->setPlainText(body);
  QCoreApplication::processEvents();
  const double convert = best(5, [&] {
    w->Body(1)->clear();
    QElapsedTimer t;
    t.start();
    w->RunConversion();
    QCoreApplication::processEvents();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
  });
  const bool same = w->Body(1)->toPlainText().size() > 0;

  std::printf("open a stored mail (%.2f MiB file, 1 MiB body + its vertical text): %.3f s\n", fileMiB, open);
  std::printf("convert a 1 MiB body in the window (%lld characters out): %.3f s%s\n",
              static_cast<long long>(vertical.size()), convert, same ? "" : " (no output!)");
  return 0;
}
