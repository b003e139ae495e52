// Sending against real servers that nobody here wrote: aiosmtpd keeps what it
// receives and Python's email package reads it back; Dovecot answers the POP
// login; headless Chromium renders the HTML part.
#include "gui/editor/frmMessage.h"
#include "gui/settings/SeparatorList.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/clsMakeMail.h"
#include "store/AppState.h"
#include "tests/testsupport/KillRun.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/ServerProcess.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const QString kPython = QStringLiteral(TALLPOST_SYSTEM_PYTHON);
const QString kScripts = QStringLiteral(TALLPOST_INTEGRATION_DIR);
const QString kCrLf = QStringLiteral("\r\n");

bool Runs(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// One of the servers of servers.py.
class Server : public ServerProcess {
 public:
  explicit Server(const QStringList& args) : ServerProcess(kPython, kScripts + QStringLiteral("/servers.py"), args) {}
};

// Runs one of the check scripts; its output goes into the test's log.
int Check(const QStringList& args, QString* output = nullptr) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(kPython, args);
  if (!p.waitForFinished(180000)) return -1;
  const QString text = QString::fromUtf8(p.readAll());
  std::printf("%s", text.toUtf8().constData());
  if (output != nullptr) *output = text;
  return p.exitCode();
}

QJsonArray Pair(const QString& name, const QString& address) { return QJsonArray{name, address}; }

// A list of name-address pairs. Built by appending: a braced list holding one
// QJsonArray copies that array under clang instead of nesting it.
QJsonArray Pairs(std::initializer_list<QJsonArray> pairs) {
  QJsonArray list;
  for (const QJsonArray& pair : pairs) list.append(pair);
  return list;
}

class RealServers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Runs(kPython, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}))
      GTEST_SKIP() << "python3-aiosmtpd is not installed for " << kPython.toStdString();
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    AppSettings& s = state.Settings;
    FillSender(s);
    s.PageLines = 6;
    s.LineChars = 8;
    s.Separator = 1;
    state.SeparatorList = {NoSeparatorText(), QStringLiteral("＊＊＊")};
    received = work.path() + QStringLiteral("/received");
  }

  // The user's mail: Japanese names and subject, a two-page vertical text
  // with lines a mail server would take for its own, two attachments.
  frmMessage* write(bool dotLines = false) {
    auto* w = new frmMessage(state, dialogs, nullptr);
    EXPECT_TRUE(w->Constructor(-1, true));
    w->Upper(0)->setText(QStringLiteral("山田花子 <hanako@example.jp>, jiro@example.jp"));
    w->Upper(1)->setText(QStringLiteral("鈴木一郎 <ichiro@example.jp>"));
    w->Upper(2)->setText(QStringLiteral("secret@example.jp"));
    w->Upper(3)->setText(QStringLiteral("秋の便り（テスト）"));
    w->Body(0)->setPlainText(QStringLiteral("拝啓、秋も深まってまいりました。") + kCrLf +
                             QStringLiteral("「縦書き」のメールをお送りします。皆様お元気でお過ごしください！") +
                             kCrLf + QStringLiteral("敬具"));
    w->FindAction(QStringLiteral("mnuTategaki"))->trigger();
    if (dotLines) {
      // Lines of the user's own in the vertical text that a server would take
      // for the end of the message or strip a dot from.
      QString vertical = w->Body(1)->document()->toRawText();
      vertical.replace(QChar::ParagraphSeparator, kCrLf);
      w->Body(1)->setPlainText(vertical + kCrLf + QStringLiteral(".") + kCrLf + QStringLiteral(".追伸"));
    }

    textFile = folder.File(QStringLiteral("メモ.txt"));
    binaryFile = folder.File(QStringLiteral("写真.bin"));
    QByteArray binary(3000, Qt::Uninitialized);
    for (char& b : binary) b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    EXPECT_TRUE(folder.WriteBytes(QStringLiteral("メモ.txt"), QByteArray("\x83\x81\x83\x82\r\n")));
    EXPECT_TRUE(folder.WriteBytes(QStringLiteral("写真.bin"), binary));
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(textFile), QUrl::fromLocalFile(binaryFile)});
    w->GetAttachFile(&drop);
    return w;
  }

  QJsonObject expected(const MailRecord& r, const QJsonArray& rcpts) const {
    QJsonArray attachments;
    for (const QString& path : {textFile, binaryFile}) {
      QFile f(path);
      EXPECT_TRUE(f.open(QIODevice::ReadOnly));
      attachments.append(QJsonArray{QFileInfo(path).fileName(), QString::fromLatin1(f.readAll().toBase64())});
    }
    return QJsonObject{
        {QStringLiteral("mail_from"), QStringLiteral("taro@example.jp")},
        {QStringLiteral("rcpt_tos"), rcpts},
        {QStringLiteral("subject"), r.Subject},
        {QStringLiteral("from"), Pair(QStringLiteral("山田太郎"), QStringLiteral("taro@example.jp"))},
        {QStringLiteral("to"), Pairs({Pair(QStringLiteral("山田花子"), QStringLiteral("hanako@example.jp")),
                                      Pair(QString(), QStringLiteral("jiro@example.jp"))})},
        {QStringLiteral("cc"), Pairs({Pair(QStringLiteral("鈴木一郎"), QStringLiteral("ichiro@example.jp"))})},
        {QStringLiteral("plain"), clsMakeMail::DotProtect(r.VerticalText)},
        {QStringLiteral("html"), clsMakeMail::DotProtect(BuildHtmlBody(r.VerticalText))},
        {QStringLiteral("attachments"), attachments},
        {QStringLiteral("no_header"), QJsonArray{QStringLiteral("Bcc")}},
    };
  }

  bool writeExpectation(const QJsonArray& messages) const {
    QFile f(work.path() + QStringLiteral("/expect.json"));
    return f.open(QIODevice::WriteOnly) &&
           f.write(QJsonDocument(QJsonObject{{QStringLiteral("messages"), messages}}).toJson()) > 0;
  }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  QTemporaryDir work;
  QString received;
  QString textFile, binaryFile;
};

TEST_F(RealServers, AMailSentToAiosmtpdArrivesAsTheUserWroteIt) {
  Server smtp({QStringLiteral("smtp"), received});
  ASSERT_GT(smtp.Port(), 0) << "aiosmtpd did not start";
  state.Settings.SmtpPort = smtp.Port();
  frmMessage* w = write();
  w->FindAction(QStringLiteral("mnuSendMail"))->trigger();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.value(0).text.toStdString();
  ASSERT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
  MailRecord stored;
  ASSERT_TRUE(state.Store().ReadMailFile(0, stored));
  ASSERT_TRUE(stored.VerticalText.contains(QStringLiteral("＊＊＊")));

  const QJsonArray rcpts{QStringLiteral("hanako@example.jp"), QStringLiteral("jiro@example.jp"),
                         QStringLiteral("ichiro@example.jp"), QStringLiteral("secret@example.jp")};
  ASSERT_TRUE(writeExpectation({expected(stored, rcpts)}));
  EXPECT_EQ(
      Check({kScripts + QStringLiteral("/check_received.py"), received, work.path() + QStringLiteral("/expect.json")}),
      0);

  // The HTML part in a real browser: every line of the PRE block as wide as
  // the others.
  if (!QFile::exists(QStringLiteral("/usr/bin/chromium"))) GTEST_SKIP() << "chromium is not installed";
  const QString shots = QStringLiteral(TALLPOST_TEST_OUTPUT_DIR);
  QDir().mkpath(shots);
  QString output;
  EXPECT_EQ(Check({kScripts + QStringLiteral("/render_columns.py"), received + QStringLiteral("/0.html"),
                   shots + QStringLiteral("/received-html.png")},
                  &output),
            0);
  EXPECT_TRUE(output.contains(QStringLiteral("line widths:")));
  // And with only the fonts a phone carries: no ＭＳ ゴシック, no IPA fonts.
  EXPECT_EQ(Check({kScripts + QStringLiteral("/render_columns.py"), QStringLiteral("--noto-only"),
                   received + QStringLiteral("/0.html"), shots + QStringLiteral("/received-html-noto.png")}),
            0);
}

// Every JIS X 0208 character one of whose two bytes is '"' or '\', as the
// system's own ISO-2022-JP decoder reads them.
QString QuoteAndBackslashCharacters() {
  QProcess p;
  p.start(kPython,
          {QStringLiteral("-c"), QStringLiteral("import sys\n"
                                                "out=''\n"
                                                "for row in list(range(1,9))+list(range(16,85)):\n"
                                                "  for cell in range(1,95):\n"
                                                "    b=bytes([row+32,cell+32])\n"
                                                "    if 0x22 in b or 0x5c in b:\n"
                                                "      try: out+=(b'\\x1b$B'+b+b'\\x1b(B').decode('iso2022_jp')\n"
                                                "      except UnicodeDecodeError: pass\n"
                                                "sys.stdout.buffer.write(out.encode('utf-8'))\n")});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

TEST_F(RealServers, WhatTheUserAcceptedArrivesInEveryDecoder) {
  Server smtp({QStringLiteral("smtp"), received});
  ASSERT_GT(smtp.Port(), 0);
  state.Settings.SmtpPort = smtp.Port();
  const QString quoted = QuoteAndBackslashCharacters();
  ASSERT_GE(quoted.size(), 280) << "the JIS X 0208 characters holding a quote or backslash byte";
  auto* w = new frmMessage(state, dialogs, nullptr);
  ASSERT_TRUE(w->Constructor(-1, true));
  w->Upper(0)->setText(QStringLiteral("山田花子 <hanako@example.jp>"));
  w->Upper(3)->setText(QStringLiteral("ｶﾞｲﾄﾞ〜～①㍉髙🍣") + quoted.left(60));
  w->Body(0)->setPlainText(quoted + kCrLf + QStringLiteral("ﾊﾞｽ‖∥−－①㍉髙😀") + QChar(0x2028) +
                           QStringLiteral("次の行") + QChar(0xA0) + QStringLiteral("です"));
  // Names that the file system allows and a mail header must not take literally.
  const QStringList names{QStringLiteral("あ本※→■ｶﾞｲﾄﾞ.txt"), QStringLiteral("q\"uo\\te.txt"),
                          QStringLiteral("line\r\nContent-Transfer-Encoding: 8bit.txt")};
  QList<QUrl> urls;
  for (const QString& name : names) {
    EXPECT_TRUE(folder.WriteBytes(name, (QStringLiteral("内容 ") + name).toUtf8()));
    urls << QUrl::fromLocalFile(folder.File(name));
  }
  QMimeData drop;
  drop.setUrls(urls);
  w->GetAttachFile(&drop);
  // The check before the conversion: the user takes the replacements offered.
  dialogs.AnswerNext(Dialogs::Answer::Yes);
  w->FindAction(QStringLiteral("mnuTategaki"))->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("「①」")));
  EXPECT_EQ(w->Upper(3)->text().left(12), QStringLiteral("ガイド〜～(1)ミリ高〓"));
  w->FindAction(QStringLiteral("mnuSendMail"))->trigger();
  ASSERT_EQ(dialogs.messages.size(), 1) << dialogs.messages.last().text.toStdString();
  ASSERT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);

  MailRecord stored;
  ASSERT_TRUE(state.Store().ReadMailFile(0, stored));
  EXPECT_TRUE(stored.BodyText.contains(QStringLiteral("(1)ミリ高〓\r\n次の行 です")))
      << "U+2028 a line break, U+00A0 a space";
  QJsonArray attachments;
  QJsonArray muttNames;
  for (const AttachmentRecord& a : stored.Attachments) {
    const QString original = names[a.Name.startsWith(u'q') ? 1 : a.Name.startsWith(u'l') ? 2 : 0];
    attachments.append(
        QJsonArray{a.Name, QString::fromLatin1((QStringLiteral("内容 ") + original).toUtf8().toBase64())});
    muttNames.append(a.Name);
  }
  EXPECT_TRUE(stored.Attachments.value(0).Name.startsWith(QStringLiteral("あ本※→■ガイド")));
  QFile f(work.path() + QStringLiteral("/decoders.json"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QJsonDocument(QJsonObject{{QStringLiteral("subject"), stored.Subject},
                                    {QStringLiteral("plain"), clsMakeMail::DotProtect(stored.VerticalText)},
                                    {QStringLiteral("attachments"), attachments},
                                    {QStringLiteral("mutt_names"), muttNames}})
              .toJson());
  f.close();
  QString output;
  EXPECT_EQ(Check({kScripts + QStringLiteral("/decoders_check.py"), received, f.fileName()}, &output), 0)
      << output.toStdString();
}

TEST_F(RealServers, ToeModeDeliversOneMessagePerAddress) {
  Server smtp({QStringLiteral("smtp"), received});
  ASSERT_GT(smtp.Port(), 0);
  state.Settings.SmtpPort = smtp.Port();
  frmMessage* w = write(true);
  w->FindAction(QStringLiteral("mnuTOEMode"))->trigger();
  w->FindAction(QStringLiteral("mnuSendMail"))->trigger();
  ASSERT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
  MailRecord stored;
  ASSERT_TRUE(state.Store().ReadMailFile(0, stored));
  ASSERT_TRUE(stored.VerticalText.endsWith(QStringLiteral("\r\n.\r\n.追伸")));
  QJsonObject first = expected(stored, {QStringLiteral("hanako@example.jp")});
  first[QStringLiteral("to")] = Pairs({Pair(QStringLiteral("山田花子"), QStringLiteral("hanako@example.jp"))});
  first[QStringLiteral("cc")] = QJsonArray{};
  QJsonObject second = expected(stored, {QStringLiteral("jiro@example.jp")});
  second[QStringLiteral("to")] = Pairs({Pair(QString(), QStringLiteral("jiro@example.jp"))});
  second[QStringLiteral("cc")] = QJsonArray{};
  ASSERT_TRUE(writeExpectation({first, second}));
  EXPECT_EQ(
      Check({kScripts + QStringLiteral("/check_received.py"), received, work.path() + QStringLiteral("/expect.json")}),
      0);
  EXPECT_FALSE(QFile::exists(received + QStringLiteral("/2.eml"))) << "no third message";
}

TEST_F(RealServers, DovecotLoginBeforeSmtpWithTheRightAndAWrongPassword) {
  if (!QFile::exists(QStringLiteral("/usr/sbin/dovecot"))) GTEST_SKIP() << "dovecot-pop3d is not installed";
  // Dovecot's login processes run as other users: the folder must be open to them.
  QFile::setPermissions(work.path(), QFile::permissions(work.path()) | QFile::ReadOther | QFile::ExeOther |
                                         QFile::ReadGroup | QFile::ExeGroup);
  Server dovecot({QStringLiteral("pop"), work.path() + QStringLiteral("/dovecot"), QStringLiteral("taro"),
                  QStringLiteral("secret")});
  ASSERT_GT(dovecot.Port(), 0) << "dovecot did not start";
  PopBeforeSmtp pop;
  EXPECT_TRUE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(), QStringLiteral("taro"), QStringLiteral("secret")));
  EXPECT_EQ(pop.PopState(), QStringLiteral("QUIT"));
  EXPECT_FALSE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(), QStringLiteral("taro"), QStringLiteral("wrong")));
  EXPECT_EQ(pop.PopState(), QStringLiteral("PASS"));

  // A wrong POP password does not stop the mail.
  Server smtp({QStringLiteral("smtp"), received});
  ASSERT_GT(smtp.Port(), 0);
  state.Settings.SmtpPort = smtp.Port();
  state.Settings.PopServer = QStringLiteral("127.0.0.1");
  state.Settings.PopPort = dovecot.Port();
  state.Settings.Passwd = QStringLiteral("wrong");
  frmMessage* w = write();
  w->FindAction(QStringLiteral("mnuSendMail"))->trigger();
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_EQ(state.Index.value(0).MailBox, MailBoxNumber::Sent);
  EXPECT_TRUE(QFile::exists(received + QStringLiteral("/0.eml")));
  const QByteArray log = [&] {
    QFile f(work.path() + QStringLiteral("/dovecot/dovecot.log"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  EXPECT_TRUE(log.contains("Login: user=<taro>")) << log.toStdString();
  EXPECT_TRUE(log.contains("auth failed")) << log.toStdString();
}

}  // namespace

namespace {

// Batch sends killed (SIGKILL) at random moments and restarted, against aiosmtpd.
// A few kills here; bench/batch_bench --kill runs many more.
TEST(KilledBatch, EveryAcceptedMailIsInSentAfterARestartAndNoneReachesTheServerTwice) {
  if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}) != 0)
    GTEST_SKIP() << "python3-aiosmtpd is not installed for " << kPython.toStdString();
  QTemporaryDir work;
  const KillReport r = RunKills(kPython, kScripts, QStringLiteral(TALLPOST_BATCH_CHILD), work.path(), 30, 6, 700);
  ASSERT_TRUE(r.Problem.isEmpty()) << r.Problem.toStdString();
  std::printf("kills %d, mails %d, received %d, duplicates %d, accepted not in 送信済み %d, in doubt %d\n", r.Kills,
              r.Mails, r.Received, r.Duplicates, r.AcceptedNotSent, r.SentNotReceived);
  EXPECT_EQ(r.Duplicates, 0);
  EXPECT_EQ(r.AcceptedNotSent, 0);
  EXPECT_EQ(r.OutboxLeft, 0);
  EXPECT_EQ(r.Received + r.SentNotReceived, r.Mails) << "every mail went out or is known as possibly sent";
}

}  // namespace
