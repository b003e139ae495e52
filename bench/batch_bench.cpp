// Sending the whole outbox: 500 stored mails to a local aiosmtpd, in mails per
// second, and in the same run Python's smtplib sending the same 500 messages,
// one connection each, to the same server.
#include "gui/mainwindow/frmCenter.h"
#include "mail/OutgoingMail.h"
#include "mail/SmtpDialogue.h"
#include "mail/clsMakeMail.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/LocalTimeZone.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/ServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Says Yes to the batch question, shows nothing else.
class YesDialogs final : public Dialogs {
 public:
  Answer Message(const QString&, const QString&, Icon, Buttons buttons) override {
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
  }
  std::optional<QString> Input(const QString&, const QString&, const QString&) override { return std::nullopt; }
  int messages = 0;
};

const QString kPython = QStringLiteral(TALLPOST_SYSTEM_PYTHON);

}  // namespace

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int mails = argc > 1 ? std::atoi(argv[1]) : 500;
  QTemporaryDir dir;
  AppState state(dir.path() + QStringLiteral("/program"));
  QDir().mkpath(state.FilePath(QStringLiteral("MailBox")));
  GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), state.GlyphSwap);

  ServerProcess server(kPython, QStringLiteral(TALLPOST_INTEGRATION_DIR "/servers.py"),
                       {QStringLiteral("smtp"), dir.path() + QStringLiteral("/received")});
  if (server.Port() == 0) {
    std::fprintf(stderr, "aiosmtpd did not start (python3-aiosmtpd for %s?)\n", TALLPOST_SYSTEM_PYTHON);
    return 1;
  }
  AppSettings& s = state.Settings;
  FillSender(s, server.Port());
  state.SeparatorList = {QStringLiteral("（使用しない）")};

  // The outbox, and the same messages written out for smtplib.
  const QString plain = dir.path() + QStringLiteral("/plain");
  QDir().mkpath(plain);
  QString vertical;
  for (int row = 0; row < 20; ++row) vertical += QString(20, QChar(0x7E26)) + QStringLiteral("\r\n");
  MailIndex index;
  for (int i = 0; i < mails; ++i) {
    MailRecord r = StoredMail(QStringLiteral("相手%1 <user%1@example.jp>").arg(i));
    r.Seq = i;
    r.Subject = QStringLiteral("一括送信の試験 %1").arg(i);
    r.BodyText = QStringLiteral("本文");
    r.VerticalText = vertical;
    if (!state.Store().WriteMailFile(i, r)) return 1;
    index.append({i, r.To, r.Subject, r.Date, MailBoxNumber::Outbox, false});
    clsMakeMail m;
    FillOutgoingMail(m, r, SenderText(s));
    QByteArray data = m.MailData();
    data.chop(3);  // smtplib ends the data itself
    QFile msg(plain + QStringLiteral("/%1.msg").arg(i));
    QFile rcpt(plain + QStringLiteral("/%1.rcpt").arg(i));
    if (!msg.open(QIODevice::WriteOnly) || !rcpt.open(QIODevice::WriteOnly)) return 1;
    msg.write(data);
    rcpt.write(m.SmtpFrom().toUtf8() + '\n' + m.SmtpRcpt(0).toUtf8() + '\n');
  }
  if (!state.Store().WriteMailIndex(index)) return 1;
  state.Index = index;

  // The dialogue alone, for comparison: the same messages over SmtpDialogue.
  {
    QElapsedTimer d;
    d.start();
    SmtpDialogue dialogue;
    int ok = 0;
    for (int i = 0; i < mails; ++i) {
      QFile msg(plain + QStringLiteral("/%1.msg").arg(i));
      msg.open(QIODevice::ReadOnly);
      if (dialogue
              .Run(QStringLiteral("127.0.0.1"), server.Port(), s.Email, {QStringLiteral("user%1@example.jp").arg(i)},
                   msg.readAll() + ".\r\n")
              .Sent)
        ++ok;
    }
    const double t = static_cast<double>(d.nsecsElapsed()) / 1e9;
    std::printf("SMTP dialogue alone: %d mails in %.3f s = %.1f mails/s\n", ok, t, ok / t);
  }

  YesDialogs dialogs;
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  frmCenter center(state, ini, dialogs);
  center.Load();
  QElapsedTimer t;
  t.start();
  center.mnuSendMails_Click();
  const double tallpost = static_cast<double>(t.nsecsElapsed()) / 1e9;
  int sent = 0;
  for (const MailIndexEntry& e : state.Index)
    if (e.MailBox == MailBoxNumber::Sent) ++sent;
  const double rate = sent / tallpost;
  std::printf("Tallpost batch: %d of %d mails sent in %.3f s = %.1f mails/s\n", sent, mails, tallpost, rate);

  QProcess smtplib;
  smtplib.setProcessChannelMode(QProcess::MergedChannels);
  smtplib.start(kPython,
                {QStringLiteral(TALLPOST_BENCH_DIR "/smtplib_send.py"), QString::number(server.Port()), plain});
  smtplib.waitForFinished(600000);
  const QString out = QString::fromUtf8(smtplib.readAll());
  std::printf("%s", out.toUtf8().constData());
  const qsizetype at = out.indexOf(QStringLiteral("= "));
  const double pythonRate = at >= 0 ? out.mid(at + 2).section(u' ', 0, 0).toDouble() : 0;
  if (pythonRate > 0) std::printf("Tallpost / smtplib: %.2f (wanted at least 0.5)\n", rate / pythonRate);
  return sent == mails ? 0 : 1;
}
