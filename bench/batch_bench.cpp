// Sending the whole outbox: 500 stored mails to a local aiosmtpd, in mails per
// second, and in the same run Python's smtplib sending the same 500 messages,
// one connection each, to the same server (before and after Tallpost, so that
// a change of the machine's load shows).
//
//   batch_bench [OUTBOX] [STORED] [ROUNDS]
//                                   STORED mails in all (default OUTBOX), the
//                                   others already in 送信済み; ROUNDS (5) rounds
//   batch_bench --kill N [OUTBOX]   N kills of the batch at random moments,
//                                   each followed by a restart: what the server
//                                   received against where the mails are
//   batch_bench --secure [OUTBOX]   the dialogue alone in clear and over TLS
//                                   with a login (one connection a mail), and
//                                   smtplib over TLS one connection a mail and
//                                   one connection for all
#include "gui/mainwindow/frmCenter.h"
#include "mail/OutgoingMail.h"
#include "mail/SmtpDialogue.h"
#include "mail/clsMakeMail.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"
#include "support/Dialogs.h"
#include "support/LocalTimeZone.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/YesDialogs.h"
#ifdef TALLPOST_HAVE_BATCH_CHILD
#include "tests/testsupport/KillRun.h"
#endif
#include "tests/testsupport/ServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const QString kPython = QStringLiteral(TALLPOST_SYSTEM_PYTHON);

}  // namespace

int main(int argc, char* argv[]) {
  SettleLocalTimeZone();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc > 1 && QByteArrayView(argv[1]) == "--kill") {
#ifdef TALLPOST_HAVE_BATCH_CHILD
    const int kills = argc > 2 ? std::atoi(argv[2]) : 60;
    const int outbox = argc > 3 ? std::atoi(argv[3]) : 3000;
    QTemporaryDir work;
    const KillReport r = RunKills(kPython, QStringLiteral(TALLPOST_INTEGRATION_DIR),
                                  QStringLiteral(TALLPOST_BATCH_CHILD), work.path(), outbox, kills, 600);
    if (!r.Problem.isEmpty()) {
      std::fprintf(stderr, "%s\n", r.Problem.toUtf8().constData());
      return 1;
    }
    std::printf(
        "kills %d, mails %d, received by the server %d, duplicates %d, accepted but not in 送信済み %d, "
        "in 送信済み without reaching the server (in doubt) %d, left in 送信箱 %d\n",
        r.Kills, r.Mails, r.Received, r.Duplicates, r.AcceptedNotSent, r.SentNotReceived, r.OutboxLeft);
    return r.Duplicates == 0 && r.AcceptedNotSent == 0 ? 0 : 1;
#else
    std::fprintf(stderr, "built without the tests: no batch_child\n");
    return 1;
#endif
  }
  const bool secure = argc > 1 && QByteArrayView(argv[1]) == "--secure";
  if (secure) --argc, ++argv;
  const int mails = argc > 1 ? std::atoi(argv[1]) : 500;
  const int stored = std::max(mails, argc > 2 ? std::atoi(argv[2]) : mails);
  const int older = stored - mails;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
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
  // Mails sent long ago: only the index knows them here.
  for (int i = 0; i < older; ++i)
    index.append({i, QStringLiteral("昔の相手%1 <old%1@example.jp>").arg(i % 997), QStringLiteral("昔の件名 %1").arg(i),
                  QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(97LL * i), MailBoxNumber::Sent, false});
  for (int n = 0; n < mails; ++n) {
    const int i = older + n;
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
    QFile msg(plain + QStringLiteral("/%1.msg").arg(n));
    QFile rcpt(plain + QStringLiteral("/%1.rcpt").arg(n));
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
              .Run(QStringLiteral("127.0.0.1"), server.Port(), s.Email,
                   {QStringLiteral("user%1@example.jp").arg(older + i)}, msg.readAll() + ".\r\n")
              .Sent)
        ++ok;
    }
    const double t = static_cast<double>(d.nsecsElapsed()) / 1e9;
    std::printf("SMTP dialogue alone: %d mails in %.3f s = %.1f mails/s\n", ok, t, ok / t);
  }
  if (secure) {
    // The same messages over TLS from the first byte with a login, against
    // aiosmtpd wanting both; then smtplib both ways.
    ServerProcess tls(kPython, QStringLiteral(TALLPOST_INTEGRATION_DIR "/servers.py"),
                      {QStringLiteral("smtp-secure"), dir.path() + QStringLiteral("/secure"), QStringLiteral("good"),
                       s.Account, s.Passwd});
    if (tls.Port(1) == 0) return 1;
    const QString ca = dir.path() + QStringLiteral("/secure/ca.pem");
    SmtpDialogue dialogue;
    SmtpDialogue::Security security;
    security.Connection = SmtpDialogue::Security::Mode::Tls;
    security.Login = true;
    security.User = s.Account;
    security.Password = s.Passwd;
    dialogue.SetSecurity(security);
    dialogue.SetTrusted(QSslCertificate::fromPath(ca));
    QElapsedTimer d;
    d.start();
    int ok = 0;
    for (int i = 0; i < mails; ++i) {
      QFile msg(plain + QStringLiteral("/%1.msg").arg(i));
      msg.open(QIODevice::ReadOnly);
      if (dialogue
              .Run(QStringLiteral("127.0.0.1"), tls.Port(1), s.Email,
                   {QStringLiteral("user%1@example.jp").arg(older + i)}, msg.readAll() + ".\r\n")
              .Sent)
        ++ok;
    }
    const double t = static_cast<double>(d.nsecsElapsed()) / 1e9;
    std::printf("SMTP dialogue alone, TLS+login, one connection a mail: %d mails in %.3f s = %.1f mails/s\n", ok, t,
                ok / t);
    QProcess smtplib;
    smtplib.setProcessChannelMode(QProcess::MergedChannels);
    smtplib.start(kPython, {QStringLiteral(TALLPOST_BENCH_DIR "/smtplib_send.py"), QStringLiteral("--tls"), ca,
                            s.Account, s.Passwd, QString::number(tls.Port(1)), plain});
    smtplib.waitForFinished(600000);
    std::printf("%s", smtplib.readAll().constData());
    return ok == mails ? 0 : 1;
  }

  const auto runSmtplib = [&] {
    QProcess smtplib;
    smtplib.setProcessChannelMode(QProcess::MergedChannels);
    smtplib.start(kPython,
                  {QStringLiteral(TALLPOST_BENCH_DIR "/smtplib_send.py"), QString::number(server.Port()), plain});
    smtplib.waitForFinished(600000);
    const QString out = QString::fromUtf8(smtplib.readAll());
    std::printf("%s", out.toUtf8().constData());
    const qsizetype at = out.indexOf(QStringLiteral("= "));
    return at >= 0 ? out.mid(at + 2).section(u' ', 0, 0).toDouble() : 0.0;
  };
  // Rounds of smtplib and Tallpost taking turns, the outbox put back between
  // Tallpost's rounds: the server's own pace drifts as its folder of
  // received mails grows, and each Tallpost round is compared with the
  // smtplib rounds on either side of it.
  YesDialogs dialogs;
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  frmCenter center(state, ini, dialogs);
  center.Load();
  QList<double> python{runSmtplib()};
  QList<double> ratios;
  int sent = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int n = 0; n < mails; ++n) state.Index[older + n].MailBox = MailBoxNumber::Outbox;
    state.Keeper.Fold(state.Index);
    QElapsedTimer t;
    t.start();
    center.mnuSendMails_Click();
    const double tallpost = static_cast<double>(t.nsecsElapsed()) / 1e9;
    sent = 0;
    for (const MailIndexEntry& e : state.Index)
      if (e.MailBox == MailBoxNumber::Sent && e.Seq >= older) ++sent;
    const double rate = sent / tallpost;
    std::printf("Tallpost batch: %d of %d mails sent in %.3f s = %.1f mails/s\n", sent, mails, tallpost, rate);
    python.append(runSmtplib());
    const double around = (python[round] + python[round + 1]) / 2;
    if (around > 0) ratios.append(rate / around);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("store: %d mails (%d in the outbox)\n", stored, mails);
  QString list;
  for (double r : ratios) list += QString::number(r, 'f', 2) + u' ';
  if (!ratios.isEmpty())
    std::printf("Tallpost / smtplib per round: %s-> median %.2f (wanted at least 1.0)\n", list.toUtf8().constData(),
                ratios[ratios.size() / 2]);
  return sent == mails ? 0 : 1;
}
