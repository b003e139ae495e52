#include "mail/PopBeforeSmtp.h"
#include "mail/SmtpDialogue.h"
#include "tests/testsupport/ScriptedServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QByteArray kMessage = "Subject: test\r\n\r\nfirst line\r\n.hidden dot\r\n..two dots\r\n. \r\nlast\r\n\r\n.\r\n";

QList<QByteArray> Lines(std::initializer_list<const char*> lines) {
  QList<QByteArray> out;
  for (const char* l : lines) out.append(l);
  return out;
}

quint16 ClosedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  const quint16 port = probe.serverPort();
  probe.close();
  return port;
}

class Smtp : public ::testing::Test {
 protected:
  SmtpDialogue::Outcome send(const QStringList& recipients = {QStringLiteral("a@example.jp")}) {
    return dialogue.Run(QStringLiteral("127.0.0.1"), server.Port(), QStringLiteral("me@example.jp"), recipients,
                        kMessage);
  }
  ScriptedServer server;
  SmtpDialogue dialogue;
};

// ---------------------------------------------------------------- SMTP

TEST_F(Smtp, APoliteServerGetsEveryCommandInOrderAndTheMessageUnchanged) {
  server.Greeting = {"220 localhost ready\r\n"};
  QSignalSpy progress(&dialogue, &SmtpDialogue::Progress);
  QSignalSpy greeted(&dialogue, &SmtpDialogue::Greeted);
  const SmtpDialogue::Outcome out =
      send({QStringLiteral("to@example.jp"), QStringLiteral("cc@example.jp"), QStringLiteral("bcc@example.jp")});
  EXPECT_TRUE(out.Sent);
  // QUIT is sent, and the connection closed without waiting for its answer.
  EXPECT_TRUE(QTest::qWaitFor([&] { return server.Commands.contains("QUIT"); }, 2000));
  EXPECT_FALSE(out.ConnectionFailed);
  EXPECT_EQ(server.Commands, Lines({"HELO TALLPOST", "MAIL FROM:<me@example.jp>", "RCPT TO:<to@example.jp>",
                                    "RCPT TO:<cc@example.jp>", "RCPT TO:<bcc@example.jp>", "DATA", "QUIT"}));
  // Lines that begin with a dot carry one more on the wire.
  EXPECT_EQ(server.Message, QByteArray("Subject: test\r\n\r\nfirst line\r\n..hidden dot\r\n...two dots\r\n.. \r\n"
                                       "last\r\n\r\n"));
  QList<int> values;
  for (const QList<QVariant>& call : progress) values.append(call[0].toInt());
  EXPECT_EQ(values, (QList<int>{70, 75, 80, 80, 80, 85, 98}));
  EXPECT_EQ(greeted.size(), 1);
  EXPECT_EQ(dialogue.SmtpState(), QStringLiteral("Quit"));
}

TEST_F(Smtp, AServerSayingMoreAfterItsStartTlsReplyGetsNothingMore) {
  // Bytes after the 220 to STARTTLS came in clear: a client taking them as
  // said under TLS could be made to act on a stranger's words.
  server.Greeting = {"220 localhost ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray {
    if (line.startsWith("EHLO")) return "250-localhost\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n";
    if (line == "STARTTLS") return "220 go ahead\r\n250-injected\r\n";
    return PoliteSmtp(line);
  };
  SmtpDialogue::Security security;
  security.Connection = SmtpDialogue::Security::Mode::StartTls;
  security.Login = true;
  security.User = QStringLiteral("taro");
  security.Password = QStringLiteral("secret");
  dialogue.SetSecurity(security);
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_EQ(out.ServerReply, SmtpDialogue::StartTlsInjectedText());
  EXPECT_TRUE(QTest::qWaitFor([&] { return server.Commands.contains("QUIT"); }, 2000));
  for (const QByteArray& c : server.Commands) EXPECT_FALSE(c.startsWith("AUTH")) << c.toStdString();
}

TEST(SmtpLogin, TheMechanismIsTheBestTheServerOffers) {
  const QStringList all{QStringLiteral("LOGIN"), QStringLiteral("CRAM-MD5"), QStringLiteral("PLAIN")};
  EXPECT_EQ(SmtpDialogue::ChooseMechanism(all, true), QStringLiteral("PLAIN"));
  EXPECT_EQ(SmtpDialogue::ChooseMechanism(all, false), QStringLiteral("CRAM-MD5")) << "in clear, keep the password off";
  EXPECT_EQ(SmtpDialogue::ChooseMechanism({QStringLiteral("LOGIN")}, false), QStringLiteral("LOGIN"));
  EXPECT_EQ(SmtpDialogue::ChooseMechanism({QStringLiteral("XOAUTH2"), QStringLiteral("GSSAPI")}, true), QString());
}

TEST(SmtpTransparency, OnlyLineStartsAreDoubledAndTheEndLineStays) {
  EXPECT_EQ(SmtpDialogue::Transparent(".a\r\nb.c\r\n.\r\n"), QByteArray("..a\r\nb.c\r\n.\r\n"));
  EXPECT_EQ(SmtpDialogue::Transparent("x\r\n\r\n.\r\n"), QByteArray("x\r\n\r\n.\r\n"));
  EXPECT_EQ(SmtpDialogue::Transparent("no end"), QByteArray("no end\r\n.\r\n"));
}

TEST_F(Smtp, AGreetingSplitIntoTwoArrivalsIsOneReply) {
  server.Greeting = {"220-localhost ESMTP\r\n220-more to come", "\r\n220 ready\r\n"};
  EXPECT_TRUE(send().Sent);
  EXPECT_EQ(server.Commands.front(), QByteArray("HELO TALLPOST"));
  EXPECT_EQ(server.Commands.count("HELO TALLPOST"), 1);
}

TEST_F(Smtp, AGreetingCutInsideItsCodeIsStillRead) {
  server.Greeting = {"22", "0 ready\r\n"};
  EXPECT_TRUE(send().Sent);
}

TEST_F(Smtp, AMultiLineReplyToHeloIsTakenWhole) {
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray {
    if (line.startsWith("HELO")) return "250-localhost\r\n250-SIZE 1000\r\n250 HELP\r\n";
    return PoliteSmtp(line);
  };
  EXPECT_TRUE(send().Sent);
  EXPECT_EQ(server.Commands.count("MAIL FROM:<me@example.jp>"), 1);
}

TEST_F(Smtp, ARefusedGreetingIsAnsweredWithQuitAlone) {
  server.Greeting = {"554 no service for you\r\n"};
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_FALSE(out.ConnectionFailed);
  EXPECT_EQ(out.ServerReply, QStringLiteral("554 no service for you\r\n"));
  EXPECT_EQ(server.Commands, Lines({"QUIT"}));
}

TEST_F(Smtp, ARefusedRecipientEndsTheDialogueWithItsWholeReply) {
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray {
    if (line == "RCPT TO:<bad@example.jp>") return "550-no such user\r\n550 mailbox unavailable\r\n";
    return PoliteSmtp(line);
  };
  const SmtpDialogue::Outcome out =
      send({QStringLiteral("good@example.jp"), QStringLiteral("bad@example.jp"), QStringLiteral("x@example.jp")});
  EXPECT_FALSE(out.Sent);
  EXPECT_EQ(out.ServerReply, QStringLiteral("550-no such user\r\n550 mailbox unavailable\r\n"));
  EXPECT_EQ(server.Commands, Lines({"HELO TALLPOST", "MAIL FROM:<me@example.jp>", "RCPT TO:<good@example.jp>",
                                    "RCPT TO:<bad@example.jp>", "QUIT"}));
  EXPECT_TRUE(server.Message.isEmpty());
}

TEST_F(Smtp, ARefusedMessageIsNotSent) {
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray {
    if (line == ".") return "552 too big\r\n";
    return PoliteSmtp(line);
  };
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_EQ(out.ServerReply, QStringLiteral("552 too big\r\n"));
}

TEST_F(Smtp, AServerThatNeverAnswersEndsAsAConnectionFailure) {
  dialogue.SetTimeout(300);
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_EQ(out.ErrorNumber, SmtpDialogue::TimeoutErrorNumber());
  EXPECT_FALSE(out.ErrorDescription.isEmpty());
  EXPECT_EQ(server.Connections, 1);

  // Silence after the message: the same, once the longer wait for the
  // message's acceptance is over.
  dialogue.Timing().FinalReplyMs = 600;
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray { return line == "." ? QByteArray() : PoliteSmtp(line); };
  const SmtpDialogue::Outcome stalled = send();
  EXPECT_FALSE(stalled.Sent);
  EXPECT_TRUE(stalled.ConnectionFailed);
}

// The time limits are scaled down here (a reply within 300 ms instead of 30 s);
// the servers behave for real on a real socket.
class SlowServer : public Smtp {
 protected:
  void SetUp() override {
    server.Greeting = {"220 ready\r\n"};
    dialogue.Timing().ReplyMs = 300;
    dialogue.Timing().FinalReplyMs = 3000;
    dialogue.Timing().UploadStallMs = 300;
  }
  QElapsedTimer clock;
};

TEST_F(SlowServer, AServerTakingLongerToAcceptTheMessageThanAnyCommandIsWaitedFor) {
  // Four times the wait of a command: the mail was accepted and counts as sent.
  server.DelayMs = [](const QByteArray& line) { return line == "." ? 1200 : 0; };
  const SmtpDialogue::Outcome out = send();
  EXPECT_TRUE(out.Sent) << out.ErrorDescription.toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return server.Commands.count("QUIT") == 1; }, 2000));
}

TEST_F(SlowServer, AServerTricklingItsReplyCannotHoldTheDialogueOpen) {
  // A byte every 40 ms: each arrival comes well within the limit, the reply
  // as a whole does not.
  server.Greeting = {"220-" + QByteArray(60, 'x') + "\r\n220 ready\r\n"};
  server.TrickleMs = 40;
  clock.start();
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_EQ(out.ErrorNumber, SmtpDialogue::TimeoutErrorNumber());
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_TRUE(server.Commands.isEmpty()) << "not even HELO went out";
}

TEST_F(SlowServer, ALineThatNeverEndsOrAReplyOfEndlessLinesIsCutOff) {
  server.Greeting = {"220 " + QByteArray(64 * 1024, 'x')};
  SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_NE(out.ErrorNumber, SmtpDialogue::TimeoutErrorNumber()) << "refused as it came, not timed out";

  QByteArray lines;
  for (int i = 0; i < 500; ++i) lines += "250-more\r\n";
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [lines](const QByteArray& line) -> QByteArray {
    return line.startsWith("HELO") ? lines : PoliteSmtp(line);
  };
  out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
}

TEST_F(SlowServer, AServerThatReadsSlowlyGetsTheWholeMessage) {
  // 3 MiB taken 256 KiB every 100 ms: the upload stalls for longer than a
  // command may wait, but never for longer than the upload limit.
  QByteArray big;
  while (big.size() < 3 * 1024 * 1024)
    big += "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\r\n";
  server.ReadBytesPerTick = 256 * 1024;
  server.ReadTickMs = 100;
  const SmtpDialogue::Outcome out =
      dialogue.Run(QStringLiteral("127.0.0.1"), server.Port(), QStringLiteral("me@example.jp"), {QStringLiteral("a@b")},
                   big + ".\r\n");
  EXPECT_TRUE(out.Sent) << out.ErrorDescription.toStdString();
  EXPECT_EQ(server.Message, big);
}

TEST_F(SlowServer, AServerThatStopsReadingFailsTheUploadNotTheProgram) {
  QByteArray big(16 * 1024 * 1024, 'x');
  for (qsizetype i = 70; i < big.size(); i += 72) big[i] = '\n';
  server.ReadBytesPerTick = -1;
  clock.start();
  const SmtpDialogue::Outcome out = dialogue.Run(QStringLiteral("127.0.0.1"), server.Port(),
                                                 QStringLiteral("me@example.jp"), {QStringLiteral("a@b")}, big);
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_EQ(out.ErrorNumber, SmtpDialogue::TimeoutErrorNumber());
  EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(Smtp, NoCommandArgumentCarriesALineBreak) {
  server.Greeting = {"220 ready\r\n"};
  for (const QString& bad :
       {QStringLiteral("a@b\r\nRCPT TO:<x@evil>"), QStringLiteral("a@b\nDATA"), QStringLiteral("a\x01@b")}) {
    const SmtpDialogue::Outcome out = send({QStringLiteral("ok@example.jp"), bad});
    EXPECT_FALSE(out.Sent);
    EXPECT_EQ(out.ServerReply, SmtpDialogue::UnsafeArgumentText());
  }
  const SmtpDialogue::Outcome out = dialogue.Run(QStringLiteral("127.0.0.1"), server.Port(),
                                                 QStringLiteral("me@x\r\nQUIT"), {QStringLiteral("a@b")}, kMessage);
  EXPECT_FALSE(out.Sent);
  QCoreApplication::processEvents();
  EXPECT_EQ(server.Connections, 0) << "nothing is even connected";
}

TEST_F(Smtp, TheCommitIsAskedForJustBeforeTheFinalDotAndCanStopIt) {
  server.Greeting = {"220 ready\r\n"};
  QByteArray seenAtCommit;
  dialogue.BeforeCommit = [&] {
    seenAtCommit = server.Message;
    return false;
  };
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.NotRecorded);
  for (int i = 0; i < 20; ++i) QTest::qWait(10);
  EXPECT_FALSE(server.Commands.contains(".")) << "the server never got the end of the message";
  EXPECT_EQ(server.Commands.count("QUIT"), 0);
}

TEST_F(Smtp, AConnectionDroppedInTheMiddleOfTheMessageFails) {
  server.Greeting = {"220 ready\r\n"};
  server.DropDuringDataAfter = 10;
  const SmtpDialogue::Outcome out = send();
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_EQ(out.ErrorNumber, 10053);
}

TEST(SmtpRefused, ARefusedPortIsAConnectionFailure) {
  SmtpDialogue dialogue;
  const SmtpDialogue::Outcome out = dialogue.Run(QStringLiteral("127.0.0.1"), ClosedPort(),
                                                 QStringLiteral("me@example.jp"), {QStringLiteral("a@b")}, kMessage);
  EXPECT_FALSE(out.Sent);
  EXPECT_TRUE(out.ConnectionFailed);
  EXPECT_EQ(out.ErrorNumber, 10061);
  EXPECT_FALSE(out.ErrorDescription.isEmpty());
}

TEST_F(Smtp, ASilenceAfterQuitStillCountsTheAcceptedMessage) {
  dialogue.SetTimeout(300);
  server.Greeting = {"220 ready\r\n"};
  server.Answer = [](const QByteArray& line) -> QByteArray { return line == "QUIT" ? QByteArray() : PoliteSmtp(line); };
  EXPECT_TRUE(send().Sent);
}

// ---------------------------------------------------------------- POP-before-SMTP

QByteArray PolitePop(const QByteArray& line) { return line.startsWith("QUIT") ? "+OK bye\r\n" : "+OK\r\n"; }

class Pop : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Greeting = {"+OK POP3 ready\r\n"};
    server.Answer = PolitePop;
  }
  bool login(const QString& account = QStringLiteral("taro"), const QString& password = QStringLiteral("pw")) {
    return pop.Run(QStringLiteral("127.0.0.1"), server.Port(), account, password);
  }
  ScriptedServer server;
  PopBeforeSmtp pop;
};

TEST_F(Pop, ALoginSendsUserPassQuit) {
  EXPECT_TRUE(login());
  EXPECT_EQ(server.Commands, Lines({"USER taro", "PASS pw", "QUIT"}));
  EXPECT_EQ(pop.PopState(), QStringLiteral("QUIT"));
}

TEST_F(Pop, LowerCaseOkAndASplitGreetingAreAccepted) {
  server.Greeting = {"+o", "k ready\r\n"};
  server.Answer = [](const QByteArray&) -> QByteArray { return "+ok\r\n"; };
  EXPECT_TRUE(login(QString()));
  EXPECT_EQ(server.Commands.front(), QByteArray("USER "));
}

TEST_F(Pop, AWrongPasswordIsAnsweredWithQuit) {
  server.Answer = [](const QByteArray& line) -> QByteArray {
    if (line.startsWith("PASS")) return "-ERR authentication failed\r\n";
    return PolitePop(line);
  };
  EXPECT_FALSE(login());
  for (int i = 0; i < 100 && server.Commands.size() < 3; ++i) QTest::qWait(10);
  EXPECT_EQ(server.Commands, Lines({"USER taro", "PASS pw", "QUIT"}));
}

TEST_F(Pop, NoServerSetMeansNoConnection) {
  EXPECT_FALSE(pop.Run(QString(), server.Port(), QStringLiteral("a"), QStringLiteral("b")));
  EXPECT_FALSE(pop.Run(QStringLiteral("127.0.0.1"), -1, QStringLiteral("a"), QStringLiteral("b")));
  QCoreApplication::processEvents();
  EXPECT_EQ(server.Connections, 0);
}

TEST_F(Pop, ATricklingServerIsGivenUpOnAsAWholeAndTheLoginIsNotTried) {
  // Every reply complete in time, the whole login not.
  pop.Timing().ReplyMs = 1000;
  pop.Timing().WholeMs = 500;
  server.DelayMs = [](const QByteArray&) { return 300; };
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(login());
  EXPECT_LT(clock.elapsed(), 1500);
  // Nor is a login whose account or password holds a line break.
  const int before = server.Connections;
  EXPECT_FALSE(login(QStringLiteral("taro\r\nDELE 1"), QStringLiteral("pw")));
  EXPECT_FALSE(login(QStringLiteral("taro"), QStringLiteral("pw\nQUIT")));
  QCoreApplication::processEvents();
  EXPECT_EQ(server.Connections, before);
}

TEST_F(Pop, ASilentOrAbsentServerFailsQuietly) {
  server.Greeting.clear();
  pop.SetTimeout(300);
  EXPECT_FALSE(login());
  EXPECT_FALSE(pop.Run(QStringLiteral("127.0.0.1"), ClosedPort(), QStringLiteral("a"), QStringLiteral("b")));
}

}  // namespace
