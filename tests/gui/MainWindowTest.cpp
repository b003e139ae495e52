#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/MailListModel.h"
#include "gui/mainwindow/frmCenter.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSet>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QList<frmMessage*> Editors() {
  QList<frmMessage*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* e = qobject_cast<frmMessage*>(w)) out.append(e);
  return out;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    FillSender(state.Settings);
    state.Settings.Title = QStringLiteral("わたしの箱");
    state.SeparatorList = {NoSeparatorText()};
  }
  void TearDown() override { DeleteEditors(); }
  // Mails 0..n-1 on disk and in the index, in the given mailboxes.
  void store(const QList<int>& boxes) {
    MailIndex index;
    for (int i = 0; i < boxes.size(); ++i) {
      MailRecord r = StoredMail(QStringLiteral("to%1@example.jp").arg(i), boxes[i]);
      r.Seq = i;
      r.Subject = QStringLiteral("件名%1").arg(i);
      r.Date = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(3600LL * i);
      if (i % 3 == 1) r.Attachments = {{QStringLiteral("a.txt"), "YQ=="}};
      ASSERT_TRUE(state.Store().WriteMailFile(i, r));
      index.append({i, r.To, r.Subject, r.Date, boxes[i], !r.Attachments.isEmpty()});
    }
    ASSERT_TRUE(state.Store().WriteMailIndex(index));
  }
  frmCenter& load() {
    center = std::make_unique<frmCenter>(state, ini, dialogs);
    center->Load();
    return *center;
  }
  QStringList column(int c) const {
    QStringList out;
    for (int r = 0; r < center->MailListData()->rowCount(); ++r) out << center->MailListData()->Text(r, c);
    return out;
  }
  QString header(int c) const { return center->MailListData()->headerData(c, Qt::Horizontal).toString(); }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  ApiIniFileAccess ini{state.IniPath, &dialogs};
  std::unique_ptr<frmCenter> center;
};

TEST_F(MainWindow, TheOutboxIsListedAtStartNewestFirstWithItsColumnsAndTotals) {
  store({2, 2, 3, 2, 5, 4});
  frmCenter& w = load();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(w.MailBoxTree()->topLevelItem(0)->text(0), QStringLiteral("わたしの箱"));
  EXPECT_EQ(w.SelectedMailBox(), MailBoxNumber::Outbox);
  EXPECT_EQ(header(0), QString());
  EXPECT_EQ(header(1), QStringLiteral("作成日時"));
  EXPECT_EQ(header(2), QStringLiteral("宛先"));
  EXPECT_EQ(header(3), QStringLiteral("件名"));
  EXPECT_EQ(column(0), (QStringList{QStringLiteral(":3"), QStringLiteral(":1"), QStringLiteral(":0")}));
  EXPECT_EQ(column(1).front(), QStringLiteral("26/01/01 03:00"));
  EXPECT_EQ(w.Panel(2)->text(), QStringLiteral("送信箱 3件"));
  EXPECT_EQ(w.Panel(3)->text(), QStringLiteral("全 6件"));
  EXPECT_EQ(w.HeaderMark(1), QStringLiteral("desc"));
  const QModelIndexList selected = w.MailList()->selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0].row(), 0);
  // The attachment mark of mail 1.
  const QModelIndex one = w.MailListData()->index(1, 0);
  EXPECT_EQ(w.MailListData()->data(one, Qt::ToolTipRole).toString(), QStringLiteral("添付ﾌｧｲﾙあり"));
  EXPECT_FALSE(w.MailListData()->data(one, Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_FALSE(w.MailListData()->data(w.MailListData()->index(0, 0), Qt::ToolTipRole).isValid());

  w.SelectMailBox(MailBoxNumber::Sent);
  EXPECT_EQ(header(1), QStringLiteral("送信日時"));
  EXPECT_EQ(column(0), QStringList{QStringLiteral(":2")});
  EXPECT_EQ(w.Panel(2)->text(), QStringLiteral("送信済み 1件"));

  w.SelectMailBox(MailBoxNumber::Root);
  EXPECT_TRUE(w.Logo()->isVisible());
  EXPECT_FALSE(w.Panel(2)->isVisible());
  EXPECT_EQ(w.MailListData()->rowCount(), 0);
  w.SelectMailBox(MailBoxNumber::Drafts);
  EXPECT_FALSE(w.Logo()->isVisible());
  EXPECT_TRUE(w.Panel(2)->isVisible());
}

TEST_F(MainWindow, AnEmptyStoreShowsAnEmptyOutbox) {
  frmCenter& w = load();
  EXPECT_EQ(w.MailListData()->rowCount(), 0);
  EXPECT_EQ(w.Panel(2)->text(), QStringLiteral("送信箱 0件"));
  EXPECT_EQ(w.Panel(3)->text(), QStringLiteral("全 0件"));
  EXPECT_TRUE(QDir(folder.File(QStringLiteral("MailBox"))).exists());
}

TEST_F(MainWindow, HeaderClicksSortAsTextAndFlipTheMark) {
  store({2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});
  frmCenter& w = load();
  w.SortByColumn(0);
  EXPECT_EQ(w.HeaderMark(0), QStringLiteral("asc"));
  EXPECT_EQ(column(0).mid(0, 4),
            (QStringList{QStringLiteral(":0"), QStringLiteral(":1"), QStringLiteral(":10"), QStringLiteral(":2")}));
  w.SortByColumn(0);
  EXPECT_EQ(w.HeaderMark(0), QStringLiteral("desc"));
  EXPECT_EQ(column(0).front(), QStringLiteral(":9"));
  // Another mailbox keeps the order.
  w.SelectMailBox(MailBoxNumber::Drafts);
  w.SelectMailBox(MailBoxNumber::Outbox);
  EXPECT_EQ(column(0).front(), QStringLiteral(":9"));
  Q_EMIT w.MailList()->header()->sectionClicked(3);
  EXPECT_EQ(w.HeaderMark(3), QStringLiteral("asc"));
  EXPECT_EQ(column(3).front(), QStringLiteral("件名0"));
}

TEST_F(MainWindow, SortingKeepsTheSelectedMailsSelectedAndTheCurrentOneCurrent) {
  store({2, 2, 2, 2, 2, 2});
  frmCenter& w = load();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QItemSelectionModel* sel = w.MailList()->selectionModel();
  MailListModel* model = w.MailListData();
  // Newest first: rows 1 and 4 are mails 4 and 1; mail 4 is current.
  sel->select(model->index(4, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  sel->setCurrentIndex(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const QSet<int> picked{model->Seq(1), model->Seq(4)};
  const int current = model->Seq(1);
  ASSERT_EQ(picked, (QSet<int>{4, 1}));
  // A click on the subject header: the rows change places.
  QHeaderView* header = w.MailList()->header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
  ASSERT_EQ(column(3).front(), QStringLiteral("件名0"));
  QSet<int> selected;
  for (const QModelIndex& row : sel->selectedRows()) selected.insert(model->Seq(row.row()));
  EXPECT_EQ(selected, picked);
  EXPECT_EQ(model->Seq(sel->currentIndex().row()), current);
  // Delete acts on the mails the user picked.
  w.MailList()->setFocus();
  QTest::keyClick(w.MailList(), Qt::Key_Delete);
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  for (int seq = 0; seq < 6; ++seq)
    EXPECT_EQ(onDisk[seq].MailBox, picked.contains(seq) ? MailBoxNumber::Trash : MailBoxNumber::Outbox) << seq;
}

TEST_F(MainWindow, AMailStoredByAnEditorAppearsInTheList) {
  frmCenter& w = load();
  auto* editor = qobject_cast<frmMessage*>(w.MakeNewMail());
  ASSERT_NE(editor, nullptr);
  editor->Upper(0)->setText(QStringLiteral("new@example.jp"));
  editor->FindAction(QStringLiteral("mnuSaveMail"))->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(column(2), QStringList{QStringLiteral("new@example.jp")});
  EXPECT_EQ(w.Panel(3)->text(), QStringLiteral("全 1件"));
}

TEST_F(MainWindow, DeleteMovesTheSelectedMailsToTheTrashAndNothingLeavesTheTrash) {
  store({2, 2, 2, 5});
  frmCenter& w = load();
  w.show();
  QItemSelectionModel* sel = w.MailList()->selectionModel();
  sel->select(w.MailListData()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  sel->select(w.MailListData()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const int a = w.MailListData()->Seq(0), b = w.MailListData()->Seq(2);
  w.MailList()->setFocus();
  QTest::keyClick(w.MailList(), Qt::Key_Delete);
  EXPECT_EQ(w.MailListData()->rowCount(), 1);
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  EXPECT_EQ(onDisk[a].MailBox, MailBoxNumber::Trash);
  EXPECT_EQ(onDisk[b].MailBox, MailBoxNumber::Trash);
  EXPECT_EQ(onDisk[1].MailBox, MailBoxNumber::Outbox);

  w.SelectMailBox(MailBoxNumber::Trash);
  EXPECT_EQ(w.MailListData()->rowCount(), 3);
  QTest::keyClick(w.MailList(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(w.MailList()->selectionModel()->selectedRows().size(), 3);
  QTest::keyClick(w.MailList(), Qt::Key_Delete);
  EXPECT_EQ(w.MailListData()->rowCount(), 3);
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  EXPECT_EQ(onDisk[3].MailBox, MailBoxNumber::Trash);
}

TEST_F(MainWindow, AfterADeleteTheListHoldsWhatAFreshListWouldInTheSameOrder) {
  store(QList<int>(200, MailBoxNumber::Outbox));
  frmCenter& w = load();
  w.SortByColumn(3);
  MailListModel* list = w.MailListData();
  const auto fresh = [&] {
    MailListModel model;
    model.Sort(list->SortColumn(), list->SortOrder());
    model.Fill(state.Index, MailBoxNumber::Outbox);
    QStringList numbers;
    for (int r = 0; r < model.rowCount(); ++r) numbers << model.Text(r, 0);
    return numbers;
  };
  const auto deleteRows = [&](const QList<int>& rows) {
    QItemSelectionModel* sel = w.MailList()->selectionModel();
    sel->clearSelection();
    for (int r : rows) sel->select(list->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(w.MailList(), Qt::Key_Delete);
  };

  // Three runs of rows: taken out where they stand.
  QList<int> rows;
  for (int r = 10; r < 60; ++r) rows << r;
  rows << 100 << 150 << 199;
  deleteRows(rows);
  EXPECT_EQ(list->rowCount(), 147);
  EXPECT_EQ(column(0), fresh());
  EXPECT_EQ(w.Panel(2)->text(), QStringLiteral("送信箱 147件"));
  const QModelIndexList selected = w.MailList()->selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0].row(), 0);

  // Every other row (too many runs): the list is made again, the same.
  rows.clear();
  for (int r = 0; r < list->rowCount(); r += 2) rows << r;
  deleteRows(rows);
  EXPECT_EQ(list->rowCount(), 73);
  EXPECT_EQ(column(0), fresh());
  int inTrash = 0;
  for (const MailIndexEntry& e : state.Index) inTrash += e.MailBox == MailBoxNumber::Trash ? 1 : 0;
  EXPECT_EQ(inTrash, 127);
}

TEST_F(MainWindow, DroppedMailNumbersMoveToTheMailboxAndForeignTextIsIgnored) {
  store({5, 2, 5, 2, 5});
  frmCenter& w = load();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.SelectMailBox(MailBoxNumber::Trash);
  // What a drag of the selection offers.
  w.MailList()->selectAll();
  std::unique_ptr<QMimeData> dragged(w.MailListData()->mimeData(w.MailList()->selectionModel()->selectedIndexes()));
  EXPECT_EQ(dragged->text(), QStringLiteral("4,2,0")) << "in list order, newest first";

  // A drop of text from another program (no source in this program).
  QTreeWidgetItem* drafts = w.MailBoxNode(MailBoxNumber::Drafts);
  const QPoint at = w.MailBoxTree()->visualItemRect(drafts).center();
  QMimeData foreign;
  foreign.setText(QStringLiteral("1,3"));
  QDropEvent drop(at, Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.MailBoxTree()->viewport(), &drop);
  EXPECT_FALSE(drop.isAccepted());
  EXPECT_FALSE(w.DropMails(QStringLiteral("1,x"), MailBoxNumber::Drafts));
  EXPECT_FALSE(w.DropMails(QStringLiteral("1,99"), MailBoxNumber::Drafts));
  EXPECT_FALSE(w.DropMails(QStringLiteral("1"), MailBoxNumber::Root));
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  EXPECT_EQ(onDisk[1].MailBox, MailBoxNumber::Outbox);

  ASSERT_TRUE(w.DropMails(dragged->text(), MailBoxNumber::Drafts));
  EXPECT_EQ(w.SelectedMailBox(), MailBoxNumber::Drafts);
  EXPECT_EQ(w.MailListData()->rowCount(), 3);
  EXPECT_TRUE(w.MailBoxTree()->hasFocus());
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  for (int seq : {0, 2, 4}) EXPECT_EQ(onDisk[seq].MailBox, MailBoxNumber::Drafts);
}

TEST_F(MainWindow, AMoveTheJournalCannotTakeIsReportedAndUndoneInMemory) {
  store({2, 2, 5});
  frmCenter& w = load();
  const QString journal = QFileInfo(state.Store().IndexPath()).dir().filePath(QStringLiteral("MailIndex.jnl"));
  QFile::remove(journal);
  ASSERT_TRUE(QDir().mkpath(journal));
  EXPECT_FALSE(w.DropMails(QStringLiteral("0,2"), MailBoxNumber::Drafts));
  ASSERT_FALSE(dialogs.messages.isEmpty());
  EXPECT_EQ(dialogs.messages.last().text, frmCenter::MoveFailedMessage());
  EXPECT_EQ(state.Index[0].MailBox, 2);
  EXPECT_EQ(state.Index[1].MailBox, 2);
  EXPECT_EQ(state.Index[2].MailBox, 5);
  ASSERT_TRUE(QDir(journal).removeRecursively());
  ASSERT_TRUE(w.DropMails(QStringLiteral("0,2"), MailBoxNumber::Drafts));
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  EXPECT_EQ(onDisk[0].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(onDisk[1].MailBox, 2);
  EXPECT_EQ(onDisk[2].MailBox, MailBoxNumber::Drafts);
}

TEST_F(MainWindow, OpeningAnOpenMailBringsItsEditorForwardAndEditorsCascade) {
  QList<int> boxes(22, MailBoxNumber::Outbox);
  store(boxes);
  frmCenter& w = load();
  w.SortByColumn(0);
  w.SortByColumn(0);  // descending: row r is not mail r, which must not matter
  QHash<int, QPoint> placed;
  for (int row = 0; row < 21; ++row) {
    w.MailList()->selectionModel()->setCurrentIndex(w.MailListData()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const int seq = w.MailListData()->Seq(row);
    w.OpenSelectedMail();
    ASSERT_LT(seq, w.OpenEditors().size());
    ASSERT_TRUE(w.OpenEditors()[seq]);
    EXPECT_EQ(qobject_cast<frmMessage*>(w.OpenEditors()[seq].data())->Upper(0)->text(),
              QStringLiteral("to%1@example.jp").arg(seq));
    placed[row] = w.OpenEditors()[seq]->pos();
  }
  const QPoint origin = w.screen()->geometry().topLeft();
  EXPECT_EQ(placed[0], origin);
  EXPECT_EQ(placed[19], origin + QPoint(19 * 20, 19 * 15));
  EXPECT_NE(placed[20], origin + QPoint(20 * 20, 20 * 15)) << "the 21st keeps its own place";
  EXPECT_EQ(Editors().size(), 21);

  // Again on the first: no second editor.
  w.MailList()->selectionModel()->setCurrentIndex(w.MailListData()->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  w.MailList()->setFocus();
  QTest::keyClick(w.MailList(), Qt::Key_Return);
  EXPECT_EQ(Editors().size(), 21);

  // An editor closed by the user is opened anew.
  const int seq = w.MailListData()->Seq(0);
  QPointer<EditorWindow> first = w.OpenEditors()[seq];
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  w.OpenSelectedMail();
  EXPECT_TRUE(w.OpenEditors()[seq]);
  EXPECT_EQ(Editors().size(), 21);
}

TEST_F(MainWindow, AMailThatCannotBeOpenedLeavesNoEditor) {
  store({2});
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("MailBox/0.vml"), QByteArray()));
  frmCenter& w = load();
  w.OpenSelectedMail();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(w.OpenEditors().isEmpty() || !w.OpenEditors()[0]);
  EXPECT_TRUE(Editors().isEmpty());
  EXPECT_TRUE(w.isEnabled());
}

TEST_F(MainWindow, AnUnsavedNewMailIsAskedAboutAtShutDown) {
  frmCenter& w = load();
  auto* editor = qobject_cast<frmMessage*>(w.MakeNewMail());
  editor->Body(0)->setPlainText(QStringLiteral("まだ保存していない"));
  EXPECT_FALSE(w.close());
  EXPECT_EQ(dialogs.messages.back().text, frmCenter::ShutDownQuestion());
  EXPECT_FALSE(QFile::exists(state.IniPath));
}

TEST_F(MainWindow, TheTableEditedInGlyphSwapIsReloadedAndUsedByTheNextConversion) {
  frmCenter& w = load();
  // The real editor window in its own process, driven by a stand-in user who
  // puts "X" after row 1's "ー" and presses OK.
  w.SetGlyphSwapProgram(QStringLiteral(TALLPOST_GLYPHSWAP_DRIVER));
  const QString seen = folder.File(QStringLiteral("seen.txt"));
  qputenv("TALLPOST_DRIVE_SEEN", seen.toUtf8());
  qputenv("TALLPOST_DRIVE_CELL", "1,2,X");
  ASSERT_EQ(state.GlyphSwap.value(0).Horizontal, QStringLiteral("ー"));
  const GlyphSwapTable before = state.GlyphSwap;
  QAction* menu = w.findChild<QAction*>(QStringLiteral("mnuEditGlyphSwp"));
  ASSERT_NE(menu, nullptr);
  menu->trigger();
  qunsetenv("TALLPOST_DRIVE_CELL");
  qunsetenv("TALLPOST_DRIVE_SEEN");
  QFile args(seen);
  ASSERT_TRUE(args.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(args.readAll()), state.GlyphSwapPath + u'\n' + AppState::ProgramTitle());
  EXPECT_TRUE(w.isEnabled());
  ASSERT_EQ(state.GlyphSwap.size(), before.size()) << "every row kept";
  EXPECT_EQ(state.GlyphSwap[0].Vertical, QStringLiteral("X"));
  for (qsizetype i = 1; i < before.size(); ++i) EXPECT_EQ(state.GlyphSwap[i], before[i]);

  auto* editor = qobject_cast<frmMessage*>(w.MakeNewMail());
  ASSERT_NE(editor, nullptr);
  editor->Body(0)->setPlainText(QStringLiteral("あーい"));
  QAction* convert = editor->FindAction(QStringLiteral("mnuTategaki"));
  ASSERT_NE(convert, nullptr);
  convert->trigger();
  const QString vertical = editor->Body(1)->toPlainText();
  EXPECT_TRUE(vertical.contains(QStringLiteral("Ｘ"))) << "the new row, widened like any letter";
  EXPECT_FALSE(vertical.contains(QStringLiteral("｜")));
}

TEST_F(MainWindow, ATableEditorThatCannotStartIsNamedAndTheTableStays) {
  frmCenter& w = load();
  const GlyphSwapTable before = state.GlyphSwap;
  ASSERT_TRUE(PutGlyphSwapData(state.GlyphSwapPath, {{QStringLiteral("a"), QStringLiteral("b"), false}}));
  const QString missing = folder.File(QStringLiteral("no-such-program"));
  w.SetGlyphSwapProgram(missing);
  w.EditGlyphSwap();
  EXPECT_EQ(state.GlyphSwap, before) << "no reload after a failed start";
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmCenter::GlyphSwapStartFailedMessage(missing));
  EXPECT_TRUE(w.isEnabled());

  // A program that ends by a crash: no reload either.
  const QString script = folder.File(QStringLiteral("crash.sh"));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("crash.sh"), QByteArray("#!/bin/sh\nkill -9 $$\n")));
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  w.SetGlyphSwapProgram(script);
  w.EditGlyphSwap();
  EXPECT_EQ(state.GlyphSwap, before);
  EXPECT_TRUE(w.isEnabled());
}

}  // namespace
