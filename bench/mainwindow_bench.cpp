// The main window over a store of 100,000 mails (or as many as the first
// argument says), under the offscreen platform: start-up to a shown window, a
// click on a mailbox, a sort, mails saved from an editor ("保存して終了"),
// and a Delete of 1,000 selected mails.
#include "gui/AppMain.h"
#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/MailListModel.h"
#include "gui/mainwindow/frmCenter.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/LocalTimeZone.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

}  // namespace

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int mails = argc > 1 ? std::atoi(argv[1]) : 100000;
  QTemporaryDir dir;
  AppState state(dir.path());
  GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), state.GlyphSwap);
  AppSettings& s = state.Settings;
  s.Title = QStringLiteral("たかぽすと");
  s.Passwd = QStringLiteral("p");
  s.Email = QStringLiteral("me@example.jp");
  s.SmtpServer = QStringLiteral("127.0.0.1");
  state.SeparatorList = {QStringLiteral("（使用しない）")};

  // Six in ten in the outbox, the rest spread over the others.
  MailIndex index;
  index.reserve(mails);
  const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
  for (int i = 0; i < mails; ++i) {
    const int box = i % 10 < 6 ? 2 : 3 + i % 3;
    index.append({i, QStringLiteral("相手%1 <user%1@example.jp>").arg(i % 997),
                  QStringLiteral("件名 その%1 「お知らせ」").arg((i * 7919) % mails), start.addSecs(97LL * i), box,
                  i % 5 == 0});
  }
  if (!state.Store().WriteMailIndex(index)) return 1;
  // "files": a mail file for every mail too, as a real store has them (the
  // start-up looks through the folder).
  if (argc > 2 && QByteArrayView(argv[2]) == "files") {
    for (int i = 0; i < mails; ++i) {
      QFile f(state.Store().MailFilePath(i));
      if (!f.open(QIODevice::WriteOnly)) return 1;
    }
  }
  const double indexMiB = static_cast<double>(QFileInfo(state.Store().IndexPath()).size()) / (1 << 20);

  NoDialogs dialogs;
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  QElapsedTimer t;
  t.start();
  // What a start does before the window: the sweep of the folders for the
  // temporary files of cut writes, then the window's load.
  AppMain::RemoveCutWrites(state);
  frmCenter window(state, ini, dialogs);
  window.Load();
  QCoreApplication::processEvents();
  const double startUp = seconds(t);
  const int outbox = window.MailListData()->rowCount();

  t.restart();
  window.SelectMailBox(3);
  QCoreApplication::processEvents();
  const double click = seconds(t);

  window.SelectMailBox(2);
  QCoreApplication::processEvents();
  t.restart();
  window.SortByColumn(3);
  QCoreApplication::processEvents();
  const double sort = seconds(t);

  // A new mail saved from its editor as the user does: stored, listed again.
  // The first save of a run pays for what is made once per run (the mail
  // folder is looked through at start-up, not here); it is shown apart.
  const auto saveNewMail = [&] {
    auto* editor = qobject_cast<frmMessage*>(window.MakeNewMail());
    editor->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
    editor->Upper(3)->setText(QStringLiteral("保存の速さ"));
    editor->Body(0)->setPlainText(QStringLiteral("本文です。"));
    editor->PageLinesField()->setText(QStringLiteral("20"));
    editor->LineCharsField()->setText(QStringLiteral("20"));
    editor->LineSpaceField()->setText(QStringLiteral("1"));
    QCoreApplication::processEvents();
    t.restart();
    editor->FindAction(QStringLiteral("mnuSaveMail"))->trigger();
    QCoreApplication::processEvents();
    return seconds(t);
  };
  const double save = saveNewMail();
  constexpr int kMoreSaves = 9;
  std::vector<double> moreSaves;
  for (int k = 0; k < kMoreSaves; ++k) moreSaves.push_back(saveNewMail());
  std::sort(moreSaves.begin(), moreSaves.end());
  const bool saved = state.Index.size() == mails + 1 + kMoreSaves;

  const int last = std::min(999, window.MailListData()->rowCount() - 1);
  QItemSelection chosen(window.MailListData()->index(0, 0), window.MailListData()->index(last, 3));
  window.MailList()->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QCoreApplication::processEvents();
  t.restart();
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(window.MailList(), &del);
  QCoreApplication::processEvents();
  const double remove = seconds(t);
  const int left = window.MailListData()->rowCount();

  std::printf("mails: %d (index file %.1f MiB), outbox %d\n", mails, indexMiB, outbox);
  std::printf("start-up to a shown main window: %.3f s\n", startUp);
  std::printf("click on a mailbox (sent, %d mails): %.3f s\n", mails / 10 * 4 / 3, click);
  std::printf("sort of the outbox by subject: %.3f s\n", sort);
  std::printf("a new mail saved from its editor (%s): %.3f s, the %d after it: median %.3f s\n",
              saved ? "stored" : "NOT STORED", save, kMoreSaves, moreSaves[kMoreSaves / 2]);
  std::printf("Delete of 1,000 selected mails (%d left): %.3f s\n", left, remove);
  if (argc > 3) std::getchar();
  window.hide();
  return saved && left == std::max(0, outbox + 1 + kMoreSaves - 1000) ? 0 : 1;
}
