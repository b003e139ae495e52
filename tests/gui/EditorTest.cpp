#include "gui/editor/AddressPicker.h"
#include "gui/editor/FancyMode.h"
#include "gui/editor/frmMessage.h"
#include "gui/meter/frmSimpleMeter.h"
#include "gui/settings/SeparatorList.h"
#include "store/AppState.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/TempProgramFolder.h"
#include "vertical/MyTategakiEngine.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

struct FakeHost : EditorHost {
  void RegisterMessage(int nSeq, EditorWindow* oForm) override { registered.append({nSeq, oForm}); }
  void TerminateMessage(int nSeq) override { terminated.append(nSeq); }
  void RefreshMailList() override { ++refreshed; }
  void ShowAddressBook() override { ++addressBook; }
  QList<QPair<int, EditorWindow*>> registered;
  QList<int> terminated;
  int refreshed = 0;
  int addressBook = 0;
};

void Flush() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    state.Settings.PageLines = 4;
    state.Settings.LineChars = 6;
    state.Settings.LineSpace = 1;
    state.Settings.Separator = 1;
    state.Settings.ShowMeter = 1;
    state.Settings.Email = QStringLiteral("me@example.jp");
    state.SeparatorList = {QStringLiteral("（使用しない）"), QStringLiteral("＊＊＊"), QStringLiteral("－－－")};
    QDir().mkpath(state.FilePath(QStringLiteral("MailBox")));
  }
  void TearDown() override {
    for (QPointer<frmMessage>& w : windows)
      if (w) {
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        delete w.data();
      }
    Flush();
  }

  frmMessage* open(int seq, bool autoShow = true) {
    auto* w = new frmMessage(state, dialogs, &host);
    windows.append(w);
    if (!w->Constructor(seq, autoShow)) return nullptr;
    if (!autoShow) w->show();
    return w;
  }
  static void trigger(frmMessage* w, const char* name) {
    QAction* a = w->FindAction(QString::fromLatin1(name));
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }
  QString messageText(qsizetype i) const { return i < dialogs.messages.size() ? dialogs.messages[i].text : QString(); }
  static QString vertical(const frmMessage* w) {
    QString t = w->Body(1)->document()->toRawText();
    t.replace(QChar::ParagraphSeparator, kCrLf);
    return t;
  }
  QString expectedVertical(const QString& body, int pageLines, int lineChars, const QString& separator, int lineSpace) {
    MyTategakiEngine engine;
    return engine.ConvertToVertical(body, pageLines, lineChars, separator, state.GlyphSwap, MyTategakiEngine::kWideMode,
                                    lineSpace, true, QStringLiteral(">"));
  }
  QString writeFile(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(folder.WriteBytes(name, bytes));
    return folder.File(name);
  }
  static void drop(QWidget* target, QMimeData* data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
  }
  static QMimeData* files(const QStringList& paths, const QString& text = QString()) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    if (!text.isEmpty()) data->setText(text);
    return data;
  }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  FakeHost host;
  QList<QPointer<frmMessage>> windows;
};

// ---------------------------------------------------------------- writing and storing

TEST_F(Editor, NewMailIsConvertedStoredAsZeroThenOneAndReopenedWhole) {
  state.Settings.SaveBcc = 1;
  frmMessage* w = open(-1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), frmMessage::NewMailCaption());
  EXPECT_EQ(w->Upper(2)->text(), QStringLiteral("me@example.jp"));
  EXPECT_EQ(w->PageLinesField()->text(), QStringLiteral("4"));
  EXPECT_EQ(Separators::CheckedIndex(w->SeparatorListWidget()), 1);
  EXPECT_FALSE(w->Tabs()->isTabEnabled(3));
  EXPECT_FALSE(w->DataChanged());
  EXPECT_TRUE(w->GuidePanel()->isVisible());

  QTest::keyClicks(w->Upper(0), QStringLiteral("taro@example.jp"));
  w->Upper(3)->setText(QStringLiteral("お知らせ"));
  EXPECT_EQ(w->windowTitle(), QStringLiteral("お知らせ"));
  EXPECT_TRUE(w->DataChanged());
  const QString body = QStringLiteral("今日は、いい天気です。") + kCrLf + QStringLiteral("「明日」も晴れ！");
  w->Body(0)->setPlainText(body);

  trigger(w, "mnuTategaki");
  const QString expected = expectedVertical(body, 4, 6, QStringLiteral("＊＊＊"), 1);
  ASSERT_FALSE(expected.isEmpty());
  EXPECT_EQ(vertical(w), expected);
  EXPECT_EQ(w->Tabs()->currentIndex(), 1);

  QPointer<frmMessage> first = w;
  trigger(w, "mnuSaveMail");
  Flush();
  EXPECT_TRUE(first.isNull()) << "a stored window closes";
  ASSERT_EQ(host.registered.size(), 1);
  EXPECT_EQ(host.registered[0].first, 0);
  EXPECT_EQ(host.refreshed, 1);
  EXPECT_EQ(host.terminated, QList<int>{0});
  ASSERT_EQ(state.Index.size(), 1);
  EXPECT_EQ(state.Index[0].MailBox, MailBoxNumber::Outbox);
  EXPECT_EQ(state.Index[0].Subject, QStringLiteral("お知らせ"));
  EXPECT_TRUE(QFile::exists(state.Store().MailFilePath(0)));

  frmMessage* second = open(-1);
  second->Upper(0)->setText(QStringLiteral("b@example.jp"));
  ASSERT_TRUE(second->StoreMail(2));
  EXPECT_EQ(second->StoredSeq(), 1);
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  EXPECT_EQ(onDisk.size(), 2);

  frmMessage* again = open(0, false);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Upper(0)->text(), QStringLiteral("taro@example.jp"));
  EXPECT_EQ(again->Upper(2)->text(), QStringLiteral("me@example.jp"));
  EXPECT_EQ(again->Upper(3)->text(), QStringLiteral("お知らせ"));
  EXPECT_EQ(again->windowTitle(), QStringLiteral("お知らせ"));
  EXPECT_EQ(again->Body(0)->document()->toRawText().replace(QChar::ParagraphSeparator, kCrLf), body);
  EXPECT_EQ(vertical(again), expected);
  EXPECT_EQ(again->PageLinesField()->text(), QStringLiteral("4"));
  EXPECT_EQ(again->LineCharsField()->text(), QStringLiteral("6"));
  EXPECT_EQ(again->LineSpaceField()->text(), QStringLiteral("1"));
  EXPECT_EQ(Separators::CheckedIndex(again->SeparatorListWidget()), 1);
  EXPECT_FALSE(again->GuidePanel()->isVisible());
  EXPECT_FALSE(again->DataChanged());
  EXPECT_EQ(again->StoredSeq(), 0);
}

TEST_F(Editor, StoringTwiceKeepsTheNumberAndOnlySentChangesTheMailbox) {
  frmMessage* w = open(-1);
  w->Upper(0)->setText(QStringLiteral("a@example.jp"));
  ASSERT_TRUE(w->StoreMail(2));
  state.Index[0].MailBox = MailBoxNumber::Drafts;
  w->Upper(3)->setText(QStringLiteral("二度目"));
  ASSERT_TRUE(w->StoreMail(2));
  EXPECT_EQ(w->StoredSeq(), 0);
  EXPECT_EQ(host.registered.size(), 1);
  ASSERT_EQ(state.Index.size(), 1);
  EXPECT_EQ(state.Index[0].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(state.Index[0].Subject, QStringLiteral("二度目"));
  ASSERT_TRUE(w->StoreMail(3));
  EXPECT_EQ(state.Index[0].MailBox, MailBoxNumber::Sent);
  MailRecord r;
  ASSERT_TRUE(state.Store().ReadMailFile(0, r));
  EXPECT_EQ(r.MailBox, MailBoxNumber::Sent);
}

TEST_F(Editor, ANewNumberStepsOverMailFilesTheIndexDoesNotKnow) {
  // The index was lost but mail 0 and mail 3 are still on disk.
  MailRecord kept;
  kept.To = QStringLiteral("old@example.jp");
  kept.MailBox = MailBoxNumber::Drafts;
  kept.Date = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
  ASSERT_TRUE(state.Store().WriteMailFile(0, kept));
  ASSERT_TRUE(state.Store().WriteMailFile(3, kept));
  const QByteArray before = folder.ReadBytes(QStringLiteral("MailBox/0.vml"));

  frmMessage* w = open(-1);
  ASSERT_TRUE(w->StoreMail(2));
  EXPECT_EQ(w->StoredSeq(), 4);
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("MailBox/0.vml")), before);
  MailIndex index;
  ASSERT_TRUE(state.Keeper.ReadDurable(index));
  ASSERT_EQ(index.size(), 5);
  EXPECT_EQ(index[0].To, QStringLiteral("old@example.jp"));
  EXPECT_EQ(index[0].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(index[1].MailBox, 0) << "a number without a mail is listed nowhere";
  EXPECT_EQ(index[3].MailBox, MailBoxNumber::Drafts);
  EXPECT_EQ(index[4].MailBox, MailBoxNumber::Outbox);
}

TEST_F(Editor, FieldsAreCleanedAndABlankVerticalTextIsStoredEmpty) {
  frmMessage* w = open(-1);
  w->Upper(0)->setText(QStringLiteral("a@x.jp\t,b@y.jp"));
  w->Upper(3)->setText(QStringLiteral("件名\r\nの続き"));
  w->Body(1)->setPlainText(QStringLiteral("  \r\n \t\r\n"));
  ASSERT_TRUE(w->StoreMail(2));
  EXPECT_EQ(w->Upper(0)->text(), QStringLiteral("a@x.jp,b@y.jp"));
  EXPECT_EQ(w->Upper(3)->text(), QStringLiteral("件名の続き"));
  EXPECT_TRUE(w->Body(1)->document()->isEmpty());
  MailRecord r;
  ASSERT_TRUE(state.Store().ReadMailFile(0, r));
  EXPECT_EQ(r.Subject, QStringLiteral("件名の続き"));
  EXPECT_TRUE(r.VerticalText.isEmpty());

  // A full-width space is text.
  w->Body(1)->setPlainText(QStringLiteral("　"));
  ASSERT_TRUE(w->StoreMail(2));
  EXPECT_EQ(vertical(w), QStringLiteral("　"));
}

TEST_F(Editor, AFailedWriteIsReportedAndLeavesNoIndexEntry) {
  frmMessage* w = open(-1);
  w->Body(0)->setPlainText(QString(20000, u'あ'));
  {
    FileSizeLimit limit(4096);
    EXPECT_FALSE(w->StoreMail(2));
  }
  EXPECT_EQ(messageText(0), frmMessage::StoreFailedMessage());
  EXPECT_TRUE(state.Index.isEmpty());
  EXPECT_TRUE(host.registered.isEmpty());
  EXPECT_EQ(w->StoredSeq(), -1);
  EXPECT_TRUE(w->DataChanged());
  EXPECT_FALSE(QFile::exists(state.Store().IndexPath()));
}

TEST_F(Editor, AChangeTheJournalCannotTakeLeavesTheIndexAsItWasAndNoSecondCopy) {
  frmMessage* w = open(-1);
  w->Upper(3)->setText(QStringLiteral("前の件名"));
  ASSERT_TRUE(w->StoreMail(2));
  // The mail file can be written, the journal beside the index cannot.
  const QString journal = QFileInfo(state.Store().IndexPath()).dir().filePath(QStringLiteral("MailIndex.jnl"));
  QFile::remove(journal);
  ASSERT_TRUE(QDir().mkpath(journal));

  w->Upper(3)->setText(QStringLiteral("後の件名"));
  EXPECT_FALSE(w->StoreMail(3));
  EXPECT_EQ(messageText(0), frmMessage::StoreFailedMessage());
  ASSERT_EQ(state.Index.size(), 1);
  EXPECT_EQ(state.Index[0].Subject, QStringLiteral("前の件名"));
  EXPECT_EQ(state.Index[0].MailBox, 2);

  frmMessage* other = open(-1);
  other->Upper(3)->setText(QStringLiteral("新しいメール"));
  EXPECT_FALSE(other->StoreMail(2));
  EXPECT_EQ(state.Index.size(), 1);
  EXPECT_EQ(other->StoredSeq(), -1);

  // Once the journal can be written again both are stored, each once.
  ASSERT_TRUE(QDir(journal).removeRecursively());
  ASSERT_TRUE(w->StoreMail(3));
  ASSERT_TRUE(other->StoreMail(2));
  MailIndex onDisk;
  ASSERT_TRUE(state.Keeper.ReadDurable(onDisk));
  ASSERT_EQ(onDisk.size(), state.Index.size());
  QStringList subjects;
  for (const MailIndexEntry& e : onDisk)
    if (e.MailBox != MailBoxNumber::Trash) subjects.append(e.Subject);
  EXPECT_EQ(subjects.count(QStringLiteral("新しいメール")), 1) << subjects.join(u'|').toStdString();
  EXPECT_EQ(onDisk[0].Subject, QStringLiteral("後の件名"));
  EXPECT_EQ(onDisk[0].MailBox, 3);
}

// ---------------------------------------------------------------- layout checks

TEST_F(Editor, LayoutFieldsAreCheckedInOrderOnTheSettingsTab) {
  frmMessage* w = open(-1);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  w->Body(1)->setPlainText(QStringLiteral("前の縦書"));
  struct Case {
    QString pageLines, lineChars, lineSpace;
    QString message;
    QLineEdit* focus;
  };
  const QList<Case> cases{
      {QStringLiteral(" "), QStringLiteral("6"), QStringLiteral("1"), InputChecks::NotFilledMessage(),
       w->PageLinesField()},
      {QStringLiteral("4"), QStringLiteral("abc"), QStringLiteral("1"), InputChecks::NotNumericMessage(),
       w->LineCharsField()},
      {QStringLiteral("4"), QStringLiteral("6"), QStringLiteral("0"), InputChecks::NotNumericMessage(),
       w->LineSpaceField()},
      {QStringLiteral("-3"), QStringLiteral("6"), QStringLiteral("1"), InputChecks::NotNumericMessage(),
       w->PageLinesField()},
      {QStringLiteral("4"), QStringLiteral("6"), QStringLiteral("40000"), InputChecks::NotNumericMessage(),
       w->LineSpaceField()},
  };
  for (const Case& c : cases) {
    dialogs.messages.clear();
    w->Tabs()->setCurrentIndex(0);
    w->PageLinesField()->setText(c.pageLines);
    w->LineCharsField()->setText(c.lineChars);
    w->LineSpaceField()->setText(c.lineSpace);
    trigger(w, "mnuTategaki");
    ASSERT_EQ(dialogs.messages.size(), 1) << c.pageLines.toStdString() << c.lineSpace.toStdString();
    EXPECT_EQ(messageText(0), c.message);
    EXPECT_EQ(w->Tabs()->currentIndex(), 2);
    EXPECT_EQ(QApplication::focusWidget(), c.focus);
    EXPECT_EQ(vertical(w), QStringLiteral("前の縦書"));
    dialogs.messages.clear();
    EXPECT_FALSE(w->StoreMail(2));
    EXPECT_EQ(messageText(0), c.message);
  }
  EXPECT_TRUE(state.Index.isEmpty());

  // No separator checked.
  w->PageLinesField()->setText(QStringLiteral("4"));
  w->LineSpaceField()->setText(QStringLiteral("1"));
  w->LineCharsField()->setText(QStringLiteral("6"));
  w->SeparatorListWidget()->item(1)->setCheckState(Qt::Unchecked);
  dialogs.messages.clear();
  trigger(w, "mnuTategaki");
  EXPECT_EQ(messageText(0), InputChecks::NoSeparatorMessage());
  EXPECT_EQ(w->Tabs()->currentIndex(), 2);
}

TEST_F(Editor, DecimalLayoutValuesRoundHalfToEven) {
  frmMessage* w = open(-1);
  const QString body = QStringLiteral("あいうえおかきくけこさしすせそたちつてと");
  w->Body(0)->setPlainText(body);
  w->PageLinesField()->setText(QStringLiteral("2.5"));
  w->LineCharsField()->setText(QStringLiteral("3.5"));
  trigger(w, "mnuTategaki");
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(vertical(w), expectedVertical(body, 2, 4, QStringLiteral("＊＊＊"), 1));
  ASSERT_TRUE(w->StoreMail(2));
  MailRecord r;
  ASSERT_TRUE(state.Store().ReadMailFile(0, r));
  EXPECT_EQ(r.PageLines, 2);
  EXPECT_EQ(r.LineChars, 4);
}

TEST_F(Editor, LayoutChangesUpdateThePanelsButNotTheVerticalText) {
  frmMessage* w = open(-1);
  w->Body(0)->setPlainText(QStringLiteral("あいう"));
  // Entry 0: pages separated by blanks, no separator text.
  w->SeparatorListWidget()->item(1)->setCheckState(Qt::Unchecked);
  w->SeparatorListWidget()->item(0)->setCheckState(Qt::Checked);
  trigger(w, "mnuTategaki");
  const QString before = vertical(w);
  EXPECT_EQ(before, expectedVertical(QStringLiteral("あいう"), 4, 6, QString(), 1));
  ASSERT_TRUE(w->StoreMail(2));
  w->LineSpaceField()->setText(QStringLiteral("2"));
  EXPECT_EQ(w->Panel(5)->text(), QStringLiteral("行間 2行"));
  EXPECT_EQ(w->Panel(3)->text(), QStringLiteral("行/頁 4行"));
  EXPECT_EQ(w->Panel(4)->text(), QStringLiteral("文字/行 6文字"));
  EXPECT_EQ(w->Panel(6)->text(), QStringLiteral("添付ﾌｧｲﾙ 0個"));
  EXPECT_TRUE(w->DataChanged());
  EXPECT_EQ(vertical(w), before);
}

TEST_F(Editor, AnEmptyBodyConvertsToAnEmptyVerticalText) {
  frmMessage* w = open(-1);
  w->Body(1)->setPlainText(QStringLiteral("古い"));
  QTest::mouseClick(w->Panel(1), Qt::LeftButton);
  EXPECT_TRUE(w->Body(1)->document()->isEmpty());
  EXPECT_EQ(w->Tabs()->currentIndex(), 1);
}

// ---------------------------------------------------------------- meter and stop

TEST_F(Editor, AStoppedConversionKeepsTheOldTextAndTab) {
  frmMessage* w = open(-1);
  w->Body(1)->setPlainText(QStringLiteral("前の縦書"));
  w->Tabs()->setCurrentIndex(0);
  QString longBody;
  // Long enough that the engine gives the event loop turns while it reads the body.
  const QString line = QStringLiteral("縦書のテスト、です。") + kCrLf;
  longBody.reserve(line.size() * 500000);
  for (int i = 0; i < 500000; ++i) longBody += line;
  w->Body(0)->setPlainText(longBody);
  w->LineCharsField()->setText(QStringLiteral("40"));
  w->PageLinesField()->setText(QStringLiteral("40"));

  // The user closes the meter once the engine has made progress, and says Yes.
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  bool closed = false;
  QTimer watcher;
  watcher.setInterval(0);
  QObject::connect(&watcher, &QTimer::timeout, &watcher, [&] {
    if (closed || w->Engine().Progress() <= 0) return;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* meter = qobject_cast<frmSimpleMeter*>(top); meter && meter->isVisible()) {
        closed = true;
        meter->close();
      }
  });
  watcher.start();
  trigger(w, "mnuTategaki");
  watcher.stop();
  ASSERT_TRUE(closed) << "the conversion ended before the event loop had a turn";
  EXPECT_TRUE(w->Engine().ConversionStopped());
  EXPECT_EQ(vertical(w), QStringLiteral("前の縦書"));
  EXPECT_EQ(w->Tabs()->currentIndex(), 0);
  EXPECT_TRUE(w->isEnabled()) << "the meter gives the window back";
}

TEST_F(Editor, AStopAsTheMeterOpensIsNotLost) {
  frmMessage* w = open(-1);
  w->Body(1)->setPlainText(QStringLiteral("前の縦書"));
  w->Body(0)->setPlainText(QStringLiteral("短い本文"));
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  // Closed at the first turn of the event loop, which the meter's opening gives.
  QTimer::singleShot(0, w, [] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* meter = qobject_cast<frmSimpleMeter*>(top); meter && meter->isVisible()) meter->close();
  });
  trigger(w, "mnuTategaki");
  EXPECT_EQ(messageText(0), frmSimpleMeter::StopQuestion());
  EXPECT_EQ(vertical(w), QStringLiteral("前の縦書"));
}

TEST_F(Editor, WithoutProgressTheMeterShowsWorkingText) {
  state.Settings.ShowMeter = 0;
  frmMessage* w = open(-1);
  w->Body(0)->setPlainText(QStringLiteral("あ"));
  w->CallBack_TategakiEngine(0, QString(), 1);
  frmSimpleMeter* meter = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<frmSimpleMeter*>(top); m && m->isVisible()) meter = m;
  ASSERT_NE(meter, nullptr);
  EXPECT_EQ(meter->windowTitle(), AppState::ProgramTitle() + QStringLiteral(" - 縦書変換中"));
  EXPECT_EQ(meter->UserStopValue(), -9999);
  EXPECT_EQ(meter->Value(), 0);
  w->CallBack_TategakiEngine(55);
  EXPECT_EQ(meter->Value(), 0) << "progress is not shown";
  w->CallBack_TategakiEngine(0, QString(), 2);
  EXPECT_FALSE(meter->isVisible());
}

// ---------------------------------------------------------------- closing and opening

TEST_F(Editor, TheCloseQuestionAnsweredNoKeepsTheWindow) {
  frmMessage* w = open(-1);
  QPointer<frmMessage> guard = w;
  w->Body(0)->setPlainText(QStringLiteral("書きかけ"));
  trigger(w, "mnuExit");
  Flush();
  ASSERT_FALSE(guard.isNull());
  EXPECT_EQ(messageText(0), frmMessage::CloseQuestion());
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNo);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(vertical(w), QString());
  EXPECT_TRUE(host.terminated.isEmpty());

  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w->close();
  Flush();
  EXPECT_TRUE(guard.isNull());
  EXPECT_EQ(host.terminated, QList<int>{-1});
  EXPECT_TRUE(state.Index.isEmpty());
}

TEST_F(Editor, AnUnchangedWindowClosesWithoutAQuestion) {
  frmMessage* w = open(-1);
  QPointer<frmMessage> guard = w;
  w->close();
  Flush();
  EXPECT_TRUE(guard.isNull());
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Editor, AMailThatCannotBeReadIsReportedAndTheWindowGoes) {
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("MailBox/7.vml"), QByteArray()));
  auto* w = new frmMessage(state, dialogs, &host);
  QPointer<frmMessage> guard = w;
  EXPECT_FALSE(w->Constructor(7, false));
  Flush();
  EXPECT_TRUE(guard.isNull());
  EXPECT_EQ(messageText(0), frmMessage::ReadFailedMessage());
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
  EXPECT_EQ(host.terminated, QList<int>{-1});
}

TEST_F(Editor, AStoredMailWithAnEmptySubjectHasAnEmptyCaption) {
  MailRecord r = StoredMail(QStringLiteral("a@example.jp"));
  ASSERT_TRUE(state.Store().WriteMailFile(0, r));
  frmMessage* w = open(0, false);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), QString());
  EXPECT_FALSE(w->Tabs()->isTabEnabled(3));
}

TEST_F(Editor, TheGuidePanelHidesItselfAfterItsTime) {
  frmMessage* w = open(-1);
  EXPECT_TRUE(w->GuidePanel()->isVisible());
  QElapsedTimer waited;
  waited.start();
  while (w->GuidePanel()->isVisible() && waited.elapsed() < 4000) QTest::qWait(20);
  EXPECT_FALSE(w->GuidePanel()->isVisible());
  EXPECT_GE(waited.elapsed(), 2000) << "hidden too early";
}

// ---------------------------------------------------------------- attachments

TEST_F(Editor, DroppedFilesBecomeRowsAndTextIsNeverInserted) {
  const QString file = writeFile(QStringLiteral("報告書.txt"), QByteArray(1234, 'x'));
  QDir().mkpath(folder.File(QStringLiteral("folder")));
  frmMessage* w = open(-1);
  w->Body(0)->setPlainText(QStringLiteral("本文"));
  std::unique_ptr<QMimeData> data(
      files({folder.File(QStringLiteral("folder")), file, folder.File(QStringLiteral("missing.bin"))},
            QStringLiteral("dropped text")));
  drop(w->Body(0)->viewport(), data.get());
  EXPECT_EQ(w->Body(0)->toPlainText(), QStringLiteral("本文"));
  ASSERT_EQ(w->FileList()->topLevelItemCount(), 1);
  EXPECT_EQ(w->FileList()->topLevelItem(0)->text(0), QStringLiteral("報告書.txt"));
  EXPECT_EQ(w->FileList()->topLevelItem(0)->text(1), QStringLiteral("(1,234 byte)"));
  EXPECT_EQ(w->Tabs()->currentIndex(), 3);
  EXPECT_TRUE(w->Tabs()->isTabEnabled(3));
  EXPECT_EQ(w->Panel(6)->text(), QStringLiteral("添付ﾌｧｲﾙ 1個"));

  // The same file again, on the list and on the vertical body: one row each.
  drop(w->FileList()->viewport(), data.get());
  drop(w->Body(1)->viewport(), data.get());
  EXPECT_EQ(w->FileList()->topLevelItemCount(), 3);
  EXPECT_TRUE(w->Body(1)->document()->isEmpty());

  // Text alone changes no row but counts as a change.
  ASSERT_TRUE(w->StoreMail(2));
  auto text = std::make_unique<QMimeData>();
  text->setText(QStringLiteral("only text"));
  drop(w->Body(0)->viewport(), text.get());
  EXPECT_TRUE(w->DataChanged());
  EXPECT_EQ(w->FileList()->topLevelItemCount(), 3);
  EXPECT_EQ(w->Body(0)->toPlainText(), QStringLiteral("本文"));
}

TEST_F(Editor, DroppingOnlyAFolderShowsTheEmptyListAndDeletingTheLastRowDisablesIt) {
  QDir().mkpath(folder.File(QStringLiteral("folder")));
  frmMessage* w = open(-1);
  w->show();
  std::unique_ptr<QMimeData> onlyFolder(files({folder.File(QStringLiteral("folder"))}));
  drop(w->Body(0)->viewport(), onlyFolder.get());
  EXPECT_TRUE(w->Tabs()->isTabEnabled(3));
  EXPECT_EQ(w->Tabs()->currentIndex(), 3);
  EXPECT_EQ(w->FileList()->topLevelItemCount(), 0);

  std::unique_ptr<QMimeData> two(
      files({writeFile(QStringLiteral("a.txt"), "a"), writeFile(QStringLiteral("b.txt"), "b")}));
  drop(w->FileList()->viewport(), two.get());
  ASSERT_EQ(w->FileList()->topLevelItemCount(), 2);
  w->FileList()->setFocus();
  w->FileList()->setCurrentItem(w->FileList()->topLevelItem(0));
  QTest::keyClick(w->FileList(), Qt::Key_Delete);
  ASSERT_EQ(w->FileList()->topLevelItemCount(), 1);
  EXPECT_EQ(w->FileList()->topLevelItem(0)->text(0), QStringLiteral("b.txt"));
  EXPECT_TRUE(w->Tabs()->isTabEnabled(3));
  w->FileList()->setCurrentItem(w->FileList()->topLevelItem(0));
  QTest::keyClick(w->FileList(), Qt::Key_Delete);
  EXPECT_EQ(w->FileList()->topLevelItemCount(), 0);
  EXPECT_FALSE(w->Tabs()->isTabEnabled(3));
  EXPECT_EQ(w->Panel(6)->text(), QStringLiteral("添付ﾌｧｲﾙ 0個"));
}

TEST_F(Editor, ALongAttachmentNameIsShownWhole) {
  frmMessage* w = open(-1);
  const QString name =
      QStringLiteral("令和八年度_縦書きメール_送付資料_最終版_差し替え後_確認済み_営業部_総務部_経理部_回覧用_控え_") +
      QStringLiteral("第二版_参考資料_添付一覧_別紙三_顧客向け説明資料_社外秘.pdf");
  std::unique_ptr<QMimeData> data(files({writeFile(name, "1")}));
  w->GetAttachFile(data.get());
  w->Tabs()->setCurrentIndex(3);
  QTreeWidget* list = w->FileList();
  const int needed = list->fontMetrics().horizontalAdvance(name);
  ASSERT_GT(needed, list->viewport()->width()) << "a name longer than the list is wide";
  EXPECT_GE(list->columnWidth(0), needed) << "the name column takes the width the name needs";
}

TEST_F(Editor, HeaderClicksSortByTextAscendingThenDescending) {
  frmMessage* w = open(-1);
  std::unique_ptr<QMimeData> data(
      files({writeFile(QStringLiteral("b.txt"), "1"), writeFile(QStringLiteral("c.txt"), "1"),
             writeFile(QStringLiteral("a.txt"), "1")}));
  w->GetAttachFile(data.get());
  auto names = [w] {
    QStringList n;
    for (int i = 0; i < w->FileList()->topLevelItemCount(); ++i) n << w->FileList()->topLevelItem(i)->text(0);
    return n.join(u' ');
  };
  EXPECT_EQ(names(), QStringLiteral("b.txt c.txt a.txt"));
  Q_EMIT w->FileList()->header()->sectionClicked(0);
  EXPECT_EQ(names(), QStringLiteral("a.txt b.txt c.txt"));
  Q_EMIT w->FileList()->header()->sectionClicked(0);
  EXPECT_EQ(names(), QStringLiteral("c.txt b.txt a.txt"));
}

TEST_F(Editor, AFailedEncodingWritesNoIndexEntryAndNoMail) {
  const QString file = writeFile(QStringLiteral("gone.bin"), "data");
  frmMessage* w = open(-1);
  std::unique_ptr<QMimeData> data(files({file}));
  drop(w->Body(0)->viewport(), data.get());
  ASSERT_TRUE(QFile::remove(file));
  EXPECT_FALSE(w->StoreMail(2));
  EXPECT_EQ(messageText(0), frmMessage::AttachFailedMessage(QStringLiteral("gone.bin"), file));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
  EXPECT_TRUE(state.Index.isEmpty());
  EXPECT_FALSE(QFile::exists(state.Store().IndexPath()));
  EXPECT_FALSE(QFile::exists(state.Store().MailFilePath(0)));
  EXPECT_TRUE(host.registered.isEmpty());
  EXPECT_TRUE(w->DataChanged());
  EXPECT_EQ(w->StoredSeq(), -1);
}

TEST_F(Editor, KeptAttachmentsComeFirstAndASecondStoreEncodesNothingAgain) {
  MailRecord r = StoredMail(QStringLiteral("a@example.jp"));
  r.Attachments = {{QStringLiteral("first.txt"), "Zmlyc3Q="}, {QStringLiteral("second.txt"), "c2Vjb25k"}};
  ASSERT_TRUE(state.Store().WriteMailFile(0, r));
  state.Index = {MailIndexEntry{0, r.To, QString(), r.Date, MailBoxNumber::Outbox, true}};

  frmMessage* w = open(0, false);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->Tabs()->isTabEnabled(3));
  const QList<AttachmentRow> rows = w->AttachmentRowsShown();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].Key, QStringLiteral(":0"));
  EXPECT_EQ(rows[1].Key, QStringLiteral(":1"));
  EXPECT_EQ(w->FileList()->topLevelItem(1)->text(1), QStringLiteral("添付済み"));

  const QString added = writeFile(QStringLiteral("新しい.bin"), QByteArray("\x00\x01\xfe\xff", 4));
  std::unique_ptr<QMimeData> data(files({added}));
  w->GetAttachFile(data.get());
  // The new file sorts before the kept one on screen; the store still keeps
  // stored attachments first.
  w->FileList()->insertTopLevelItem(0, w->FileList()->takeTopLevelItem(2));
  w->FileList()->setCurrentItem(w->FileList()->topLevelItem(1));
  QTest::keyClick(w->FileList(), Qt::Key_Delete);
  ASSERT_TRUE(w->StoreMail(2));

  MailRecord stored;
  ASSERT_TRUE(state.Store().ReadMailFile(0, stored));
  ASSERT_EQ(stored.Attachments.size(), 2);
  EXPECT_EQ(stored.Attachments[0].Name, QStringLiteral("second.txt"));
  EXPECT_EQ(QByteArray::fromBase64(stored.Attachments[0].Content), QByteArray("second"));
  EXPECT_EQ(stored.Attachments[1].Name, QStringLiteral("新しい.bin"));
  EXPECT_EQ(QByteArray::fromBase64(stored.Attachments[1].Content), QByteArray("\x00\x01\xfe\xff", 4));

  // The rows now stand for the stored attachments at their new positions: a
  // second store neither reads the file again nor mixes the two up.
  const QList<AttachmentRow> after = w->AttachmentRowsShown();
  ASSERT_EQ(after.size(), 2);
  EXPECT_TRUE(after[0].IsStored() && after[1].IsStored());
  ASSERT_TRUE(QFile::remove(added));
  w->Upper(3)->setText(QStringLiteral("again"));
  ASSERT_TRUE(w->StoreMail(2));
  MailRecord twice;
  ASSERT_TRUE(state.Store().ReadMailFile(0, twice));
  ASSERT_EQ(twice.Attachments.size(), 2);
  EXPECT_EQ(twice.Attachments[0].Name, QStringLiteral("second.txt"));
  EXPECT_EQ(twice.Attachments[1].Content, stored.Attachments[1].Content);
  EXPECT_TRUE(state.Index[0].HasAttachment);
}

TEST_F(Editor, TheAttachHelpIsShownFromTheMenuAndThePanel) {
  frmMessage* w = open(-1);
  trigger(w, "mnuAttachFile");
  QTest::mouseClick(w->Panel(6), Qt::LeftButton);
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(messageText(0), frmMessage::AttachHelpMessage());
  EXPECT_EQ(messageText(1), frmMessage::AttachHelpMessage());
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
  EXPECT_EQ(w->FileList()->topLevelItemCount(), 0);
}

// ---------------------------------------------------------------- address picker

class Picker : public Editor {
 protected:
  void addPeople(int n) {
    QList<AddressEntry> entries{{QStringLiteral(":2"), QStringLiteral(":1"), QStringLiteral("友人"), QString(), false}};
    for (int i = 0; i < n; ++i)
      entries.append({QStringLiteral(":%1").arg(i + 3), QStringLiteral(":2"), QStringLiteral("人%1").arg(i),
                      QStringLiteral("p%1@example.jp").arg(i), true});
    state.Addresses.Replace(entries);
  }
};

TEST_F(Picker, AClickOnTheLabelInsertsNameAndAddressesWithoutSpaces) {
  state.Addresses.Replace({
      {QStringLiteral(":2"), QStringLiteral(":1"), QStringLiteral("会社"), QString(), false},
      {QStringLiteral(":3"), QStringLiteral(":2"), QStringLiteral("山田太郎"),
       QStringLiteral("taro@example.jp,\r\nyamada@example.com"), true},
      {QStringLiteral(":4"), QStringLiteral(":1"), QStringLiteral("鈴木"), QStringLiteral("s@example.jp"), true},
  });
  frmMessage* w = open(-1);
  QTest::mouseClick(w->GuideLabel(0), Qt::LeftButton);
  ASSERT_EQ(w->PickerItems().size(), 2) << "groups are left out";
  EXPECT_TRUE(w->PickerMenu()->isVisible());
  w->PickerItems()[0]->trigger();
  EXPECT_EQ(w->Upper(0)->text(), QStringLiteral("山田太郎<taro@example.jp>,<yamada@example.com>"));

  QTest::mouseClick(w->GuideLabel(0), Qt::LeftButton);
  w->PickerItems()[1]->trigger();
  EXPECT_EQ(w->Upper(0)->text(), QStringLiteral("山田太郎<taro@example.jp>,<yamada@example.com>,鈴木<s@example.jp>"));

  // Shift and the right button on the Cc field.
  QTest::mousePress(w->Upper(1), Qt::RightButton, Qt::ShiftModifier);
  w->PickerItems()[1]->trigger();
  EXPECT_EQ(w->Upper(1)->text(), QStringLiteral("鈴木<s@example.jp>"));
  EXPECT_TRUE(w->Upper(1)->isEnabled());
  // The subject label opens nothing.
  w->PickerMenu()->close();
  QTest::mouseClick(w->GuideLabel(3), Qt::LeftButton);
  EXPECT_FALSE(w->PickerMenu()->isVisible());
}

TEST_F(Picker, FifteenPeopleAreShownInTwoColumnsOfEightAndSeven) {
  addPeople(14);
  frmMessage* w = open(-1);
  QTest::mouseClick(w->GuideLabel(1), Qt::LeftButton);
  EXPECT_EQ(w->PickerItems().size(), 14);
  EXPECT_EQ(w->PickerMenu()->findChild<QWidget*>(QStringLiteral("mnuAddrColumns")), nullptr);
  w->PickerMenu()->close();

  addPeople(15);
  QTest::mouseClick(w->GuideLabel(1), Qt::LeftButton);
  ASSERT_EQ(w->PickerItems().size(), 15);
  auto* columns = w->PickerMenu()->findChild<QWidget*>(QStringLiteral("mnuAddrColumns"));
  ASSERT_NE(columns, nullptr);
  auto* grid = qobject_cast<QGridLayout*>(columns->layout());
  ASSERT_NE(grid, nullptr);
  int inFirst = 0, inSecond = 0;
  for (int i = 0; i < grid->count(); ++i) {
    int row, column, rs, cs;
    grid->getItemPosition(i, &row, &column, &rs, &cs);
    auto* button = qobject_cast<QToolButton*>(grid->itemAt(i)->widget());
    ASSERT_NE(button, nullptr);
    (column == 0 ? inFirst : inSecond)++;
    if (button->defaultAction() == w->PickerItems()[8]) {
      EXPECT_EQ(column, 1);
      EXPECT_EQ(row, 0);
    }
  }
  EXPECT_EQ(inFirst, 8);
  EXPECT_EQ(inSecond, 7);
  // A click on an item of the second column fills the field and closes the pop-up.
  for (auto* button : columns->findChildren<QToolButton*>())
    if (button->defaultAction() == w->PickerItems()[9]) QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(w->Upper(1)->text(), QStringLiteral("人9<p9@example.jp>"));
  EXPECT_FALSE(w->PickerMenu()->isVisible());
}

TEST_F(Picker, AnAbsentOrEmptyBookShowsNothing) {
  frmMessage* w = open(-1);
  QTest::mouseClick(w->GuideLabel(2), Qt::LeftButton);
  EXPECT_TRUE(w->PickerItems().isEmpty());
  EXPECT_FALSE(w->PickerMenu()->isVisible());
  state.Addresses.Replace({});
  QTest::mouseClick(w->GuideLabel(2), Qt::LeftButton);
  EXPECT_FALSE(w->PickerMenu()->isVisible());
  trigger(w, "mnuAddr");
  EXPECT_EQ(host.addressBook, 1);
}

// ---------------------------------------------------------------- fancy mode

TEST_F(Editor, FancyModeWrapsTheVerticalTextOnlyWhenStartedWithTheSwitch) {
  frmMessage* plain = open(-1);
  EXPECT_FALSE(plain->FindAction(QStringLiteral("mnuFancy"))->isVisible());
  EXPECT_FALSE(plain->FindAction(QStringLiteral("mnuFancy"))->isEnabled());

  state.Arguments = {QStringLiteral("-fancy"), QStringLiteral("more")};
  EXPECT_FALSE(open(-1)->FindAction(QStringLiteral("mnuFancy"))->isVisible());

  state.Arguments = {QStringLiteral("-fancy")};
  frmMessage* w = open(-1);
  QAction* fancy = w->FindAction(QStringLiteral("mnuFancy"));
  ASSERT_TRUE(fancy->isVisible());
  EXPECT_EQ(fancy->text(), QStringLiteral("空想の住人(&F)"));
  EXPECT_EQ(fancy->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  EXPECT_TRUE(w->FindAction(QStringLiteral("xSeparator8"))->isVisible());

  // No fancy.dat: heading, empty line, the text, a line break, the stamp.
  const QDateTime before = QDateTime::currentDateTime();
  fancy->trigger();
  const QString once = vertical(w);
  ASSERT_TRUE(once.startsWith(QStringLiteral("第***回 「」") + kCrLf + kCrLf + kCrLf));
  const QString stamp = once.mid(once.lastIndexOf(kCrLf) + 2);
  EXPECT_EQ(stamp.size(), 17);
  const QDateTime when = QDateTime::fromString(stamp, QStringLiteral("yy/MM/dd HH:mm:ss")).addYears(100);
  EXPECT_LE(std::abs(when.secsTo(before)), 2) << stamp.toStdString();
  EXPECT_TRUE(w->DataChanged());

  // Only the first line of fancy.dat, in CP932.
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("fancy.dat"), QByteArray("\x8b\xf3\x91\x7a\r\nsecond\r\n")));
  w->Body(1)->setPlainText(QStringLiteral("本文"));
  fancy->trigger();
  const QString twice = vertical(w);
  EXPECT_TRUE(twice.startsWith(QStringLiteral("第***回 「」") + kCrLf + kCrLf + QStringLiteral("本文") + kCrLf +
                               QStringLiteral("空想") + kCrLf));
  EXPECT_FALSE(twice.contains(QStringLiteral("second")));
  fancy->trigger();
  EXPECT_EQ(vertical(w).count(QStringLiteral("第***回")), 2);
}

TEST(FancyLine, AnEmptyFileOrAFolderGivesNoLine) {
  TempProgramFolder folder;
  EXPECT_FALSE(FancyMode::FancyLine(folder.Path()).has_value());
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("fancy.dat"), QByteArray()));
  EXPECT_FALSE(FancyMode::FancyLine(folder.Path()).has_value());
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("fancy.dat"), "only\nrest"));
  EXPECT_EQ(FancyMode::FancyLine(folder.Path()), QStringLiteral("only"));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral("fancy.dat"), "\r\nrest"));
  EXPECT_EQ(FancyMode::FancyLine(folder.Path()), QString());
  QFile::remove(folder.File(QStringLiteral("fancy.dat")));
  QDir().mkpath(folder.File(QStringLiteral("fancy.dat")));
  EXPECT_FALSE(FancyMode::FancyLine(folder.Path()).has_value());
  const QString empty = FancyMode::Wrap(QString(), std::nullopt, QDateTime(QDate(2026, 12, 8), QTime(7, 5, 9)));
  EXPECT_EQ(empty, QStringLiteral("第***回 「」\r\n\r\n\r\n26/12/08 07:05:09"));
}

// ---------------------------------------------------------------- on screen

TEST_F(Editor, TheVerticalColumnsLineUpOnScreen) {
  frmMessage* w = open(-1);
  w->resize(760, 620);
  w->Upper(0)->setText(QStringLiteral("山田太郎<taro@example.jp>"));
  w->Upper(3)->setText(QStringLiteral("秋の便り"));
  w->PageLinesField()->setText(QStringLiteral("12"));
  w->LineCharsField()->setText(QStringLiteral("14"));
  w->Body(0)->setPlainText(QStringLiteral("拝啓、秋も深まってまいりました。皆様お変わりなくお過ごしでしょうか。") +
                           kCrLf +
                           QStringLiteral("先日は「Tallpost 2.1」の集まりにお越しいただき、ありがとうございました！") +
                           kCrLf + QStringLiteral("> 引用の行です。") + kCrLf + QStringLiteral("敬具"));
  trigger(w, "mnuTategaki");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  const QStringList lines = vertical(w).split(kCrLf);
  ASSERT_GT(lines.size(), 10);
  // Every row, separator rows included, has the same width in the window's font.
  const QFontMetrics metrics(w->Body(1)->font());
  EXPECT_TRUE(metrics.inFont(QChar(0x7E26))) << "no Japanese font";
  const int width = metrics.horizontalAdvance(lines[0]);
  for (const QString& line : lines)
    if (!line.isEmpty()) {
      EXPECT_EQ(metrics.horizontalAdvance(line), width) << line.toStdString();
    }
  EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("あ")), 2 * metrics.horizontalAdvance(QStringLiteral("a")));
  const QString out = QStringLiteral(TALLPOST_TEST_OUTPUT_DIR);
  QDir().mkpath(out);
  EXPECT_TRUE(w->grab().save(out + QStringLiteral("/editor-vertical.png")));
}

}  // namespace

namespace {

TEST_F(Editor, TheCharacterCheckShowsWhatWouldNotArriveAndTheUserDecides) {
  frmMessage* w = open(-1);
  w->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
  w->Upper(3)->setText(QStringLiteral("①の件"));
  // Shift+Enter's line separator and a pasted no-break space among them.
  w->Body(0)->setPlainText(QStringLiteral("髙橋さんへ😀") + QChar(0x2028) + QStringLiteral("二行目") + QChar(0xA0) +
                           QStringLiteral("です"));

  // Cancel: nothing is converted or changed.
  dialogs.AnswerNext(Dialogs::Answer::Cancel);
  trigger(w, "mnuTategaki");
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].buttons, Dialogs::Buttons::YesNoCancel);
  const QString shown = messageText(0);
  for (const char* line : {"「①」 U+2460　件名　→ (1)", "「髙」 U+9AD9　本文　→ 高", "「😀」 U+1F600　本文　→ 〓"})
    EXPECT_TRUE(shown.contains(QString::fromUtf8(line))) << line << "\n" << shown.toStdString();
  EXPECT_TRUE(vertical(w).isEmpty());
  EXPECT_EQ(w->Upper(3)->text(), QStringLiteral("①の件"));

  // Yes: the replacements go in, and the text is converted as replaced.
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  trigger(w, "mnuTategaki");
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(w->Upper(3)->text(), QStringLiteral("(1)の件"));
  EXPECT_EQ(w->Body(0)->toPlainText(), QStringLiteral("高橋さんへ〓\n二行目 です"));
  EXPECT_TRUE(vertical(w).contains(QStringLiteral("高")));
  EXPECT_FALSE(vertical(w).contains(QStringLiteral("髙")));

  // Nothing is left to ask about at the store.
  ASSERT_TRUE(w->StoreMail(MailBoxNumber::Outbox));
  trigger(w, "mnuSaveMail");
  EXPECT_EQ(dialogs.messages.size(), 2);

  // A picture of the question as the user sees it.
  QDir().mkpath(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR));
  QMessageBox box(QMessageBox::Warning, AppState::ProgramTitle(), shown,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  box.adjustSize();
  EXPECT_TRUE(box.grab().save(QStringLiteral(TALLPOST_TEST_OUTPUT_DIR "/character-check.png")));
}

TEST_F(Editor, KeptCharactersAreAskedAboutOnceAndStoredFullWidth) {
  frmMessage* w = open(-1);
  w->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
  w->Upper(3)->setText(QStringLiteral("寿司🍣"));
  w->Body(0)->setPlainText(QStringLiteral("寿司🍣です"));
  dialogs.AnswerNext(Dialogs::Answer::No);
  trigger(w, "mnuTategaki");
  ASSERT_EQ(dialogs.messages.size(), 1);
  const QString verticalText = vertical(w);
  EXPECT_TRUE(verticalText.contains(QStringLiteral("🍣")));
  // Not asked again for the same text: the store goes ahead.
  trigger(w, "mnuSaveMail");
  Flush();
  EXPECT_EQ(dialogs.messages.size(), 1);
  MailRecord stored;
  ASSERT_TRUE(state.Store().ReadMailFile(0, stored));
  EXPECT_EQ(stored.Subject, QStringLiteral("寿司〓"));
  EXPECT_EQ(stored.BodyText, QStringLiteral("寿司〓です"));
  // Every row of the vertical text keeps its width: 〓 took the emoji's cell.
  const QStringList rows = stored.VerticalText.split(kCrLf, Qt::SkipEmptyParts);
  ASSERT_GT(rows.size(), 3);
  for (const QString& row : rows) EXPECT_EQ(row.size(), rows.front().size()) << row.toStdString();
}

}  // namespace
