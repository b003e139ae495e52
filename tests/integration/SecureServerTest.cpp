// Sending as to a mail provider of today: aiosmtpd wanting STARTTLS or TLS
// from the first byte and a login, Dovecot with POP3S and STLS, with
// certificates made for the run; and the ways that goes wrong, as the user
// sees them.
#include "gui/editor/frmMessage.h"
#include "mail/MailSender.h"
#include "mail/PopBeforeSmtp.h"
#include "mail/SmtpDialogue.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/ServerProcess.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kPython = QStringLiteral(TALLPOST_SYSTEM_PYTHON);
const QString kScripts = QStringLiteral(TALLPOST_INTEGRATION_DIR);
// Not ASCII, to be sure it goes as UTF-8 and is looked for as such.
const QString kPassword = QStringLiteral("秘密pass-2026");

class SecureServer : public ServerProcess {
 public:
  explicit SecureServer(const QStringList& args)
      : ServerProcess(kPython, kScripts + QStringLiteral("/servers.py"), args) {}
};

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Secure : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd, cryptography")}) != 0)
      GTEST_SKIP() << "python3-aiosmtpd or python3-cryptography is not installed for " << kPython.toStdString();
    ASSERT_TRUE(folder.InstallDefaultTable());
    ASSERT_TRUE(GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap));
    FillSender(state.Settings);
    state.Settings.Passwd = kPassword;
    state.SeparatorList = {NoSeparatorText()};
    received = work.path() + QStringLiteral("/received");
  }
  void start(const QString& certificate, const QString& password = kPassword) {
    smtp = std::make_unique<SecureServer>(
        QStringList{QStringLiteral("smtp-secure"), received, certificate, QStringLiteral("taro"), password});
    ASSERT_GT(smtp->Port(3), 0) << "aiosmtpd did not start";
  }
  // The user trusts the run's authority, as one trusts a server's own.
  void trust() {
    QFile::remove(MailSender::TrustFilePath(state));
    ASSERT_TRUE(QFile::copy(received + QStringLiteral("/ca.pem"), MailSender::TrustFilePath(state)));
  }
  void use(int port, int security, bool login) {
    state.Settings.SmtpPort = port;
    state.Settings.Security = security;
    state.Settings.SmtpAuth = login ? 1 : 0;
  }
  // Writes, converts and sends a mail from a new editor; the message box the
  // user saw, or an empty string.
  QString send(const QString& subject) {
    dialogs.messages.clear();
    auto* w = new frmMessage(state, dialogs, nullptr);
    EXPECT_TRUE(w->Constructor(-1, true));
    w->Upper(0)->setText(QStringLiteral("hanako@example.jp"));
    w->Upper(3)->setText(subject);
    w->Body(0)->setPlainText(QStringLiteral("縦書きのメールです。"));
    w->FindAction(QStringLiteral("mnuTategaki"))->trigger();
    w->FindAction(QStringLiteral("mnuSendMail"))->trigger();
    const QString seen = dialogs.messages.isEmpty() ? QString() : dialogs.messages.last().text;
    w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seen;
  }
  int arrived() const { return QDir(received).entryList({QStringLiteral("*.eml")}).size(); }
  int mailBox(int seq) const { return state.Index.value(seq).MailBox; }

  TempProgramFolder folder;
  AppState state{folder.Path()};
  ScriptedDialogs dialogs;
  QTemporaryDir work;
  QString received;
  std::unique_ptr<SecureServer> smtp;
};

TEST_F(Secure, AProviderLikeServerTakesTheMailOverStartTlsAndOverTlsWithTheLogin) {
  start(QStringLiteral("good"));
  trust();
  use(smtp->Port(0), SecurityStartTls, true);
  EXPECT_EQ(send(QStringLiteral("STARTTLS")).toStdString(), "");
  EXPECT_EQ(mailBox(0), MailBoxNumber::Sent);
  ASSERT_EQ(arrived(), 1);
  const QJsonObject envelope = QJsonDocument::fromJson(ReadAll(received + QStringLiteral("/0.json"))).object();
  EXPECT_EQ(envelope.value(QStringLiteral("login")).toString(), QStringLiteral("taro"));
  EXPECT_EQ(envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("taro@example.jp"));

  // What crossed the wire: the clear part ends at STARTTLS; the password is
  // in it in no form.
  const QByteArray wire = ReadAll(received + QStringLiteral("/wire-starttls.log"));
  ASSERT_TRUE(wire.contains("STARTTLS\r\n")) << "the recording holds the clear part";
  const QByteArray password = kPassword.toUtf8();
  for (const QByteArray& form : {password, password.toBase64(), QByteArray("\0taro\0", 6).append(password).toBase64(),
                                 QByteArray("taro").toBase64()})
    EXPECT_FALSE(wire.contains(form)) << form.toStdString();
  EXPECT_FALSE(wire.contains("AUTH")) << "no login before the handshake";

  use(smtp->Port(1), SecurityTls, true);
  EXPECT_EQ(send(QStringLiteral("SSL/TLS")).toStdString(), "");
  EXPECT_EQ(mailBox(1), MailBoxNumber::Sent);
  EXPECT_EQ(arrived(), 2);

  // In clear, by the user's choice: CRAM-MD5 keeps the password off the wire.
  use(smtp->Port(2), SecurityNone, true);
  EXPECT_EQ(send(QStringLiteral("CRAM-MD5")).toStdString(), "");
  EXPECT_EQ(mailBox(2), MailBoxNumber::Sent);
  const QByteArray clear = ReadAll(received + QStringLiteral("/wire-clear.log"));
  EXPECT_TRUE(clear.contains("AUTH CRAM-MD5\r\n")) << clear.toStdString();
  EXPECT_FALSE(clear.contains(password));
  EXPECT_FALSE(clear.contains(password.toBase64()));
}

TEST_F(Secure, WhatGoesWrongIsShownAndTheMailStaysInTheOutbox) {
  start(QStringLiteral("good"));
  trust();
  struct Case {
    const char* what;
    int port;
    int security;
    QString password;
    QString shown;  // a part of the message the user sees
  };
  const QList<Case> cases{
      {"wrong password", smtp->Port(0), SecurityStartTls, QStringLiteral("wrong"), QStringLiteral("535")},
      {"no STARTTLS offered", smtp->Port(2), SecurityStartTls, kPassword,
       SmtpDialogue::NoStartTlsText(QStringLiteral("127.0.0.1"))},
      {"a certificate for another name", smtp->Port(3), SecurityStartTls, kPassword, QStringLiteral("SHA-256")},
  };
  int seq = 0;
  for (const Case& c : cases) {
    use(c.port, c.security, true);
    state.Settings.Passwd = c.password;
    const QString shown = send(QString::fromLatin1(c.what));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("メール送信エラー"))) << c.what << ": " << shown.toStdString();
    EXPECT_TRUE(shown.contains(c.shown)) << c.what << ": " << shown.toStdString();
    EXPECT_EQ(mailBox(seq), MailBoxNumber::Outbox) << c.what;
    ++seq;
  }
  EXPECT_EQ(arrived(), 0);
  // The server without STARTTLS heard nothing after its EHLO: no login, no mail.
  const QByteArray clear = ReadAll(received + QStringLiteral("/wire-clear.log"));
  EXPECT_FALSE(clear.contains("AUTH")) << clear.toStdString();
  EXPECT_FALSE(clear.contains("MAIL FROM"));

  // A certificate nobody vouches for (the run's authority not trusted, as a
  // self-signed one): named with its fingerprint and where it could be trusted.
  QFile::remove(MailSender::TrustFilePath(state));
  state.Settings.Passwd = kPassword;
  use(smtp->Port(1), SecurityTls, true);
  const QString untrusted = send(QStringLiteral("untrusted"));
  EXPECT_TRUE(untrusted.contains(QStringLiteral("127.0.0.1"))) << untrusted.toStdString();
  EXPECT_TRUE(untrusted.contains(QStringLiteral("SHA-256 指紋: "))) << untrusted.toStdString();
  EXPECT_TRUE(untrusted.contains(MailSender::TrustFilePath(state))) << untrusted.toStdString();
  EXPECT_EQ(mailBox(seq), MailBoxNumber::Outbox);
  // The user checks the fingerprint and trusts it: the same mail goes.
  trust();
  EXPECT_EQ(send(QStringLiteral("trusted now")).toStdString(), "");
  EXPECT_EQ(arrived(), 1);
}

TEST_F(Secure, AnExpiredCertificateStopsTheSend) {
  start(QStringLiteral("expired"));
  trust();
  use(smtp->Port(1), SecurityTls, true);
  const QString shown = send(QStringLiteral("expired"));
  EXPECT_TRUE(shown.contains(QStringLiteral("SHA-256 指紋: "))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("expired"), Qt::CaseInsensitive)) << shown.toStdString();
  EXPECT_EQ(mailBox(0), MailBoxNumber::Outbox);
  EXPECT_EQ(arrived(), 0);
}

TEST_F(Secure, DovecotLoginOverPop3sAndStlsAndNeverInClear) {
  if (!QFile::exists(QStringLiteral("/usr/sbin/dovecot"))) GTEST_SKIP() << "dovecot-pop3d is not installed";
  QFile::setPermissions(work.path(), QFile::permissions(work.path()) | QFile::ReadOther | QFile::ExeOther |
                                         QFile::ReadGroup | QFile::ExeGroup);
  const QString dir = work.path() + QStringLiteral("/dovecot");
  // POP commands go out in the code page of old, CP932: an ASCII password
  // reads the same whatever Dovecot takes it for.
  const QString password = QStringLiteral("pop-pass-2026");
  state.Settings.Passwd = password;
  SecureServer dovecot({QStringLiteral("pop-secure"), dir, QStringLiteral("good"), QStringLiteral("taro"), password});
  ASSERT_GT(dovecot.Port(1), 0) << "dovecot did not start";
  const QList<QSslCertificate> authority = QSslCertificate::fromPath(dir + QStringLiteral("/ca.pem"));
  ASSERT_EQ(authority.size(), 1);
  PopBeforeSmtp pop;
  pop.SetSecure(true);
  pop.SetTrusted(authority);
  EXPECT_TRUE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(0), QStringLiteral("taro"), password)) << "POP3S";
  EXPECT_TRUE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(1), QStringLiteral("taro"), password)) << "STLS";
  EXPECT_FALSE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(1), QStringLiteral("taro"), QStringLiteral("x")));
  // Not trusted: no login is tried at all.
  pop.SetTrusted({});
  EXPECT_FALSE(pop.Run(QStringLiteral("127.0.0.1"), dovecot.Port(0), QStringLiteral("taro"), password));
  const QString log = QString::fromUtf8(ReadAll(dir + QStringLiteral("/dovecot.log")));
  // Dovecot marks a login made under TLS "TLS" (STLS) or "secured" (POP3S).
  int logins = 0;
  for (const QString& line : log.split(u'\n')) {
    if (!line.contains(QStringLiteral("Login: user=<taro>")) && !line.contains(QStringLiteral("auth failed"))) continue;
    ++logins;
    EXPECT_TRUE(line.contains(QStringLiteral("TLS")) || line.contains(QStringLiteral("secured"))) << line.toStdString();
  }
  EXPECT_EQ(logins, 3) << log.toStdString();

  // Sending with SSL/TLS chosen: the POP login goes first, over TLS.
  start(QStringLiteral("good"), password);
  trust();
  {
    QFile trusted(MailSender::TrustFilePath(state));
    ASSERT_TRUE(trusted.open(QIODevice::Append));
    trusted.write(ReadAll(dir + QStringLiteral("/ca.pem")));
  }
  state.Settings.PopServer = QStringLiteral("127.0.0.1");
  state.Settings.PopPort = dovecot.Port(0);
  use(smtp->Port(1), SecurityTls, true);
  EXPECT_EQ(send(QStringLiteral("POP then SMTP")).toStdString(), "");
  EXPECT_EQ(arrived(), 1);
  const QString after = QString::fromUtf8(ReadAll(dir + QStringLiteral("/dovecot.log")));
  EXPECT_EQ(after.count(QStringLiteral("Login: user=<taro>")), 3) << after.toStdString();
}

}  // namespace
