#include "gui/editor/frmMessage.h"
#include "gui/mainwindow/MailListModel.h"
#include "gui/mainwindow/frmCenter.h"
#include "gui/meter/frmSimpleMeter.h"
#include "gui/settings/SeparatorList.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/SmtpDialogue.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/ScriptedServer.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

struct Host : EditorHost {
  void RegisterMessage(int, EditorWindow*) override {}
  void TerminateMessage(int) override {}
  void RefreshMailList() override { ++refreshed; }
  void ShowAddressBook() override {}
  int refreshed = 0;
};

QList<QByteArray> Rcpts(const ScriptedServer& server) {
  QList<QByteArray> out;
  for (const QByteArray& c : server.Commands)
    if (c.startsWith("RCPT TO:")) out.append(c);
  return out;
}

class Send : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    FillSender(state.Settings, smtp.Port());
    state.Settings.PageLines = 10;
    state.Settings.LineChars = 10;
    state.SeparatorList = {NoSeparatorText()};
    smtp.Greeting = {"220 ready\r\n"};
  }
  void TearDown() override {
    DeleteEditors();
    flush();
  }
  frmMessage* written(const QString& to = QStringLiteral("hanako@example.jp")) {
    auto* w = new frmMessage(state, dialogs, &host);
    EXPECT_TRUE(w->Constructor(-1, true));
    w->Upper(0)->setText(to);
    w->Upper(3)->setText(QStringLiteral("秋の便り"));
    w->Body(0)->setPlainText(QStringLiteral("お元気ですか。"));
    w->FindAction(QStringLiteral("mnuTategaki"))->trigger();
    return w;
  }
  static void send(frmMessage* w) { w->FindAction(QStringLiteral("mnuSendMail"))->trigger(); }
  static void flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  int mailBoxOnDisk(int seq) const {
    MailIndex index;
    if (!state.Keeper.ReadDurable(index) || seq >= index.size()) return -1;
    return index[seq].MailBox;
  }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  Host host;
  ScriptedServer smtp;
};

TEST_F(Send, ASentMailGoesToSentAndItsWindowCloses) {
  frmMessage* w = written(QStringLiteral("花子 <hanako@example.jp>"));
  w->Upper(1)->setText(QStringLiteral("cc@example.jp"));
  w->Upper(2)->setText(QStringLiteral("bcc@example.jp"));
  QPointer<frmMessage> guard = w;
  send(w);
  flush();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
  EXPECT_TRUE(guard.isNull());
  EXPECT_EQ(smtp.Commands.value(0), QByteArray("HELO TALLPOST"));
  EXPECT_EQ(smtp.Commands.value(1), QByteArray("MAIL FROM:<taro@example.jp>"));
  EXPECT_EQ(Rcpts(smtp),
            (QList<QByteArray>{"RCPT TO:<hanako@example.jp>", "RCPT TO:<cc@example.jp>", "RCPT TO:<bcc@example.jp>"}));
  EXPECT_TRUE(smtp.Message.contains("Subject: =?ISO-2022-JP?B?"));
  EXPECT_TRUE(smtp.Message.contains("X-Mailer: Tallpost 2.1.3"));
  EXPECT_FALSE(smtp.Message.contains("bcc@example.jp")) << "no Bcc header";
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
  EXPECT_EQ(mailBoxOnDisk(0), MailBoxNumber::Sent);
  EXPECT_EQ(host.refreshed, 1);
}

TEST_F(Send, AStoredMailIsStoredAgainOnlyWhenChangedAndItsSendDateIsKept) {
  frmMessage* first = written();
  ASSERT_TRUE(first->StoreMail(MailBoxNumber::Outbox));
  first->close();
  flush();
  state.Index[0].Date = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
  ASSERT_TRUE(state.Store().WriteMailIndex(state.Index));
  const QByteArray file = folder.ReadBytes(QStringLiteral("MailBox/0.vml"));

  auto* unchanged = new frmMessage(state, dialogs, &host);
  ASSERT_TRUE(unchanged->Constructor(0, false));
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  send(unchanged);
  EXPECT_EQ(folder.ReadBytes(QStringLiteral("MailBox/0.vml")), file) << "nothing to store";
  MailIndex index;
  ASSERT_TRUE(state.Keeper.ReadDurable(index));
  EXPECT_EQ(index[0].MailBox, MailBoxNumber::Sent);
  EXPECT_GE(index[0].Date, before) << "the send date";

  // A changed one is stored first, and what is sent is what was stored.
  frmMessage* second = written();
  ASSERT_TRUE(second->StoreMail(MailBoxNumber::Outbox));
  second->Upper(3)->setText(QStringLiteral("直した件名"));
  send(second);
  MailRecord r;
  ASSERT_TRUE(state.Store().ReadMailFile(1, r));
  EXPECT_EQ(r.Subject, QStringLiteral("直した件名"));
  EXPECT_EQ(state.Index.value(1).MailBox, MailBoxNumber::Sent);
}

TEST_F(Send, AnEmptySubjectIsAskedAboutAndNoStopsEverything) {
  frmMessage* w = written();
  w->Upper(3)->clear();
  send(w);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmMessage::NoSubjectQuestion());
  EXPECT_EQ(smtp.Connections, 0);
  EXPECT_TRUE(state.Index.isEmpty());
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  send(w);
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
}

TEST_F(Send, AnEmptyToOrVerticalTextStopsBeforeAnythingIsStored) {
  frmMessage* w = written(QStringLiteral("  "));
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  send(w);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, InputChecks::NotFilledMessage());
  EXPECT_EQ(QApplication::focusWidget(), w->Upper(0));
  EXPECT_TRUE(state.Index.isEmpty());

  w->Upper(0)->setText(QStringLiteral("a@example.jp"));
  w->Body(1)->setPlainText(QStringLiteral("  \r\n"));
  dialogs.messages.clear();
  send(w);
  EXPECT_EQ(dialogs.messages.value(0).text, frmMessage::NoVerticalQuestion());
  EXPECT_EQ(smtp.Connections, 0);
  EXPECT_FALSE(w->SendMail(true)) << "a batch skips it without asking";
  EXPECT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(state.Index.isEmpty());
}

TEST_F(Send, ARefusedRecipientIsShownAndTheMailStaysInTheOutbox) {
  smtp.Answer = [](const QByteArray& line) -> QByteArray {
    if (line == "RCPT TO:<nobody@example.jp>") return "550 5.1.1 no such user\r\n";
    return PoliteSmtp(line);
  };
  frmMessage* w = written(QStringLiteral("nobody@example.jp"));
  QPointer<frmMessage> guard = w;
  send(w);
  flush();
  ASSERT_FALSE(guard.isNull()) << "the window stays with the mail";
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("メール送信エラー\r\n\r\n550 5.1.1 no such user\r\n"));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
  EXPECT_EQ(smtp.Commands.back(), QByteArray("QUIT"));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Outbox);
  EXPECT_EQ(mailBoxOnDisk(0), MailBoxNumber::Outbox);
  EXPECT_TRUE(w->isEnabled());
  EXPECT_FALSE(w->DataChanged()) << "stored before sending";
}

TEST_F(Send, ConnectionFailuresShowTheNumberAndDescription) {
  // A refused port.
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  state.Settings.SmtpPort = probe.serverPort();
  probe.close();
  frmMessage* w = written();
  send(w);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("メール送信エラー / サーバ接続失敗\r\n\r\n[10061] ")))
      << dialogs.messages[0].text.toStdString();
  EXPECT_TRUE(dialogs.messages[0].text.endsWith(kCrLf));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Outbox);

  // A server that accepts and never answers.
  smtp.Greeting.clear();
  state.Settings.SmtpPort = smtp.Port();
  dialogs.messages.clear();
  w->Smtp().SetTimeout(300);
  send(w);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("[10060] ")));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Outbox);
  EXPECT_TRUE(w->isEnabled());
}

TEST_F(Send, TheSendingMeterIsSetUpAsForOneMail) {
  frmMessage* w = written();
  w->CallBack_SendMail(0, QString(), 1);
  frmSimpleMeter* meter = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<frmSimpleMeter*>(top); m && m->isVisible()) meter = m;
  ASSERT_NE(meter, nullptr);
  EXPECT_EQ(meter->windowTitle(), AppState::ProgramTitle() + QStringLiteral(" - 送信処理中"));
  EXPECT_EQ(meter->LevelStyle(), 1);
  EXPECT_FALSE(meter->isEnabled()) << "no user stop";
  w->CallBack_SendMail(65);
  EXPECT_EQ(meter->Value(), 65);
  w->CallBack_SendMail(0, frmSimpleMeter::MeterName(), 0);
  EXPECT_EQ(meter->Value(), 65) << "the meter's own calls are not answered";
  w->CallBack_SendMail(100, QString(), 2);
  EXPECT_FALSE(meter->isVisible());
}

TEST_F(Send, PopBeforeSmtpRunsFirstAndItsFailureDoesNotStopTheSend) {
  ScriptedServer pop;
  pop.Greeting = {"+OK ready\r\n"};
  bool wrongPassword = false;
  pop.Answer = [&wrongPassword](const QByteArray& line) -> QByteArray {
    if (line.startsWith("PASS") && wrongPassword) return "-ERR bad password\r\n";
    return line == "QUIT" ? "+OK bye\r\n" : "+OK\r\n";
  };
  state.Settings.PopServer = QStringLiteral("127.0.0.1");
  state.Settings.PopPort = pop.Port();
  send(written());
  EXPECT_EQ(pop.Commands, (QList<QByteArray>{"USER taro", "PASS secret", "QUIT"}));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);

  wrongPassword = true;
  pop.Commands.clear();
  send(written());
  EXPECT_EQ(pop.Commands.value(1), QByteArray("PASS secret"));
  EXPECT_EQ(state.Index.value(1).MailBox, MailBoxNumber::Sent);
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Send, ToeModeSendsOneMessagePerToAddressAndOneToTheSender) {
  frmMessage* w = written(QStringLiteral("a@example.jp, 乙 <b@example.jp>"));
  w->Upper(1)->setText(QStringLiteral("cc@example.jp"));
  w->show();
  w->FindAction(QStringLiteral("mnuTOEMode"))->trigger();
  EXPECT_TRUE(w->TOEMode());
  EXPECT_FALSE(w->Upper(1)->isVisible());
  EXPECT_FALSE(w->Upper(2)->isVisible());
  EXPECT_FALSE(w->GuideLabel(1)->isVisible());
  EXPECT_TRUE(w->TOEMailSelf()->isVisible());
  EXPECT_EQ(w->TOEMailSelf()->text(), QStringLiteral("送信者に1通送る"));
  w->TOEMailSelf()->setChecked(true);
  send(w);
  EXPECT_EQ(smtp.Connections, 3);
  EXPECT_EQ(Rcpts(smtp),
            (QList<QByteArray>{"RCPT TO:<a@example.jp>", "RCPT TO:<b@example.jp>", "RCPT TO:<taro@example.jp>"}));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
}

TEST_F(Send, ToeModeOffRestoresTheFieldsAndTheExplanationIsShown) {
  frmMessage* w = written();
  w->show();
  QAction* toe = w->FindAction(QStringLiteral("mnuTOEMode"));
  toe->trigger();
  toe->trigger();
  EXPECT_FALSE(w->TOEMode());
  EXPECT_TRUE(w->Upper(1)->isVisible());
  EXPECT_TRUE(w->Upper(2)->isVisible());
  EXPECT_FALSE(w->TOEMailSelf()->isVisible());
  w->FindAction(QStringLiteral("mnuTOEExplain"))->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("TOE(TO EACH)について\r\n\r\n")));
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Information);
}

TEST_F(Send, AToeSendGoesOnAfterARefusalAndASecondSendReachesOnlyTheAddressesLeft) {
  bool refuse = true;
  smtp.Answer = [&refuse](const QByteArray& line) -> QByteArray {
    if (refuse && line == "RCPT TO:<b@example.jp>") return "550 no\r\n";
    return PoliteSmtp(line);
  };
  frmMessage* w = written(QStringLiteral("a@example.jp, 次郎 <b@example.jp>, c@example.jp"));
  w->FindAction(QStringLiteral("mnuTOEMode"))->trigger();
  send(w);
  EXPECT_EQ(Rcpts(smtp),
            (QList<QByteArray>{"RCPT TO:<a@example.jp>", "RCPT TO:<b@example.jp>", "RCPT TO:<c@example.jp>"}))
      << "the addresses after the refused one get their copy too";
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text,
            frmMessage::PartlySentMessage({QStringLiteral("a@example.jp"), QStringLiteral("c@example.jp")},
                                          {QStringLiteral("b@example.jp")},
                                          QStringLiteral("メール送信エラー\r\n\r\n550 no\r\n")));
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Outbox);
  w->close();
  flush();

  // Sent again, as a batch would (TOE mode is not kept with the mail, but the
  // copies that went out are): only the address left gets one.
  refuse = false;
  smtp.Commands.clear();
  AppState restarted(folder.Path());
  restarted.Settings = state.Settings;
  restarted.SeparatorList = state.SeparatorList;
  restarted.GlyphSwap = state.GlyphSwap;
  int recovered = 0;
  restarted.Keeper.Load(restarted.Index, &recovered);
  auto* again = new frmMessage(restarted, dialogs, &host);
  ASSERT_TRUE(again->Constructor(0, false));
  EXPECT_TRUE(again->TOEMode()) << "the mail goes on in TOE mode";
  ASSERT_TRUE(again->SendMail(true));
  EXPECT_EQ(Rcpts(smtp), (QList<QByteArray>{"RCPT TO:<b@example.jp>"}));
  EXPECT_EQ(restarted.Index.value(0).MailBox, MailBoxNumber::Sent);
  flush();
}

TEST_F(Send, AMailTheServerTookIsSentEvenWhenItsRecordCannotBeWritten) {
  frmMessage* w = written();
  ASSERT_TRUE(w->StoreMail(MailBoxNumber::Outbox));
  w->close();
  flush();
  ASSERT_TRUE(state.Keeper.Fold(state.Index));
  auto* again = new frmMessage(state, dialogs, &host);
  ASSERT_TRUE(again->Constructor(0, false));
  // Room for the commit's own record before the final dot, not for the
  // record that the mail was accepted: the disk fills up in between.
  const qint64 room = IndexJournal::EncodeRecord(JournalRecord::Commit(JournalRecord::Kind::CommitBegun, 0)).size();
  {
    FileSizeLimit full(room + 8);
    send(again);
  }
  flush();
  EXPECT_EQ(smtp.Commands.count("DATA"), 1);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, frmMessage::SentNotRecordedMessage());
  EXPECT_EQ(state.Index[0].MailBox, MailBoxNumber::Sent) << "in this run";
  EXPECT_TRUE(state.Keeper.Unsaved());
  // The next run finds it sent too: the commit on disk never ended.
  AppState next(folder.Path());
  int recovered = 0;
  const IndexJournal::Replay replay = next.Keeper.Load(next.Index, &recovered);
  EXPECT_EQ(next.Index.value(0).MailBox, MailBoxNumber::Sent) << "and the next";
  EXPECT_EQ(replay.InDoubt, QList<std::int32_t>{0});
}

TEST_F(Send, AToFieldOfOnlyCommasAndBlanksNamesNobody) {
  for (const QString& to : {QStringLiteral(" , ,"), QStringLiteral("<>"), QStringLiteral("名前だけ <>")}) {
    dialogs.messages.clear();
    frmMessage* w = written(to);
    send(w);
    ASSERT_EQ(dialogs.messages.size(), 1) << to.toStdString();
    EXPECT_EQ(dialogs.messages[0].text, InputChecks::NotFilledMessage());
    EXPECT_EQ(smtp.Connections, 0);
    EXPECT_FALSE(w->SendMail(true));
    EXPECT_TRUE(state.Index.isEmpty() || state.Index[0].MailBox != MailBoxNumber::Sent);
    w->close();
    dialogs.AnswerNext(Dialogs::Answer::Yes);
    flush();
  }
}

TEST_F(Send, AStoredMailWithALineBreakInItsFieldsSendsNoExtraHeaderOrCommand) {
  // A mail file from elsewhere, To and Subject holding bare line feeds.
  MailRecord r;
  r.MailBox = MailBoxNumber::Outbox;
  r.To = QStringLiteral("hanako@example.jp\nX-Injected: yes");
  r.Subject = QStringLiteral("件名\nBcc: evil@example.jp");
  r.VerticalText = QStringLiteral("縦");
  r.PageLines = r.LineChars = r.LineSpace = 1;
  r.Date = QDateTime::currentDateTime();
  ASSERT_TRUE(state.Store().WriteMailFile(0, r));
  state.Index = {{0, QStringLiteral("x"), QStringLiteral("y"), r.Date, MailBoxNumber::Outbox, false}};
  auto* w = new frmMessage(state, dialogs, &host);
  ASSERT_TRUE(w->Constructor(0, false));
  send(w);
  EXPECT_EQ(state.Index[0].MailBox, MailBoxNumber::Sent);
  ASSERT_EQ(Rcpts(smtp).size(), 1) << "one address, as the editor shows it";
  for (const QByteArray& c : smtp.Commands) EXPECT_FALSE(c.startsWith("X-Injected")) << c.toStdString();
  for (const QByteArray& line : smtp.Message.split('\n'))
    EXPECT_FALSE(line.startsWith("Bcc:") || line.startsWith("X-Injected")) << line.toStdString();
  flush();
}

// ---------------------------------------------------------------- the whole outbox

class Batch : public Send {
 protected:
  void storeOutbox(const QStringList& tos) {
    for (const QString& to : tos) {
      frmMessage* w = written(to);
      ASSERT_TRUE(w->StoreMail(MailBoxNumber::Outbox));
      w->close();
    }
    flush();
  }
};

TEST_F(Batch, EveryOutboxMailIsSentButTheRefusedOneStaysAndIsReportedOnce) {
  smtp.Answer = [](const QByteArray& line) -> QByteArray {
    if (line == "RCPT TO:<refused@example.jp>") return "550 no\r\n";
    return PoliteSmtp(line);
  };
  storeOutbox(
      {QStringLiteral("one@example.jp"), QStringLiteral("refused@example.jp"), QStringLiteral("three@example.jp")});
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  frmCenter center(state, ini, dialogs);
  center.Load();
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  center.mnuSendMails_Click();
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.messages[0].text, frmCenter::BatchQuestion(false));
  EXPECT_EQ(dialogs.messages[1].text, frmCenter::BatchErrorMessage());
  EXPECT_EQ(mailBoxOnDisk(0), MailBoxNumber::Sent);
  EXPECT_EQ(mailBoxOnDisk(1), MailBoxNumber::Outbox);
  EXPECT_EQ(mailBoxOnDisk(2), MailBoxNumber::Sent);
  EXPECT_EQ(smtp.Connections, 3);
  EXPECT_EQ(center.MailListData()->rowCount(), 1) << "the outbox list after the run";
  flush();
  int editors = 0;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<frmMessage*>(top) != nullptr) ++editors;
  EXPECT_EQ(editors, 0);
}

TEST_F(Batch, AMailOpenInAnEditorIsSkippedAndNamedInTheQuestion) {
  storeOutbox({QStringLiteral("one@example.jp"), QStringLiteral("two@example.jp")});
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  frmCenter center(state, ini, dialogs);
  center.Load();
  for (int row = 0; row < center.MailListData()->rowCount(); ++row)
    if (center.MailListData()->Seq(row) == 1)
      center.MailList()->selectionModel()->setCurrentIndex(
          center.MailListData()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  center.OpenSelectedMail();
  dialogs.messages.clear();
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  center.mnuSendMails_Click();
  EXPECT_EQ(dialogs.messages.value(0).text, frmCenter::BatchQuestion(true));
  EXPECT_TRUE(frmCenter::BatchQuestion(true).contains(QStringLiteral("　　　下記、「いいえ」を選択し")));
  EXPECT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(mailBoxOnDisk(0), MailBoxNumber::Sent);
  EXPECT_EQ(mailBoxOnDisk(1), MailBoxNumber::Outbox);
  EXPECT_EQ(smtp.Connections, 1);
}

TEST_F(Batch, AnEmptyOutboxStillAsksAndNoSendsNothing) {
  storeOutbox({QStringLiteral("one@example.jp")});
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  frmCenter center(state, ini, dialogs);
  center.Load();
  center.mnuSendMails_Click();  // answered No
  EXPECT_EQ(smtp.Connections, 0);
  center.MailList()->selectAll();
  QTest::keyClick(center.MailList(), Qt::Key_Delete);
  dialogs.messages.clear();
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  center.mnuSendMails_Click();
  EXPECT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(smtp.Connections, 0);
}

}  // namespace
