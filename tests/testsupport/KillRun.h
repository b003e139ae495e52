#pragma once

// Batch sends killed at random moments, each followed by a restart, against a
// real SMTP server: after every restart, every mail the server accepted must
// be in 送信済み (never in 送信箱), and no mail may reach the server twice.

#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Cp932.h"
#include "tests/testsupport/Sender.h"
#include "tests/testsupport/ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>

struct KillReport {
  int Kills = 0;
  int Mails = 0;
  int Received = 0;         // distinct mails the server accepted
  int Duplicates = 0;       // messages the server got a second time
  int AcceptedNotSent = 0;  // accepted mails found outside 送信済み after a restart (in 送信箱: the fault)
  int SentNotReceived = 0;  // in 送信済み at the end without reaching the server (taken as sent when in doubt)
  int OutboxLeft = 0;       // still in 送信箱 at the end
  QString Problem;          // what went wrong setting up
};

// How many messages the server got for each mail (by its recipient userN@).
inline QHash<int, int> ReceivedCounts(const QString& outdir) {
  QHash<int, int> counts;
  for (const QString& name : QDir(outdir).entryList({QStringLiteral("*.json")})) {
    QFile f(outdir + u'/' + name);
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QJsonArray rcpts = QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("rcpt_tos")).toArray();
    for (const QJsonValue& r : rcpts) {
      const QString to = r.toString();
      if (to.startsWith(QStringLiteral("user"))) ++counts[to.mid(4).section(u'@', 0, 0).toInt()];
    }
  }
  return counts;
}

inline KillReport RunKills(const QString& python, const QString& scripts, const QString& child, const QString& work,
                           int mails, int kills, int maxDelayMs) {
  KillReport report;
  report.Mails = mails;
  const QString program = work + QStringLiteral("/program");
  const QString outdir = work + QStringLiteral("/received");
  ServerProcess server(python, scripts + QStringLiteral("/servers.py"), {QStringLiteral("smtp"), outdir});
  if (server.Port() == 0) {
    report.Problem = QStringLiteral("aiosmtpd did not start");
    return report;
  }
  // The program folder: settings for the server, the table, the outbox.
  AppState state(program);
  QDir().mkpath(state.FilePath(QStringLiteral("MailBox")));
  if (!QFile::copy(QStringLiteral(TALLPOST_DEFAULT_TABLE), state.GlyphSwapPath)) {
    report.Problem = QStringLiteral("no table");
    return report;
  }
  FillSender(state.Settings, server.Port());
  QFile ini(state.IniPath);
  if (!ini.open(QIODevice::WriteOnly)) return report;
  const AppSettings& s = state.Settings;
  ini.write(
      Cp932::Encode(QStringLiteral("[Setting]\r\nTitle=%1\r\nAccount=%2\r\nPasswd=%3\r\nEmail=%4\r\nFullName=%5\r\n"
                                   "SmtpServer=%6\r\nSmtpPort=%7\r\nPageLines=10\r\nLineChars=10\r\nLineSpace=1\r\n")
                        .arg(s.Title, s.Account, s.Passwd, s.Email, s.FullName, s.SmtpServer)
                        .arg(s.SmtpPort)));
  ini.close();
  MailIndex index;
  for (int i = 0; i < mails; ++i) {
    MailRecord r = StoredMail(QStringLiteral("相手%1 <user%1@example.jp>").arg(i));
    r.Seq = i;
    r.Subject = QStringLiteral("中断の試験 %1").arg(i);
    r.VerticalText = QStringLiteral("縦書きの本文　その") + QString::number(i);
    if (!state.Store().WriteMailFile(i, r)) return report;
    index.append({i, r.To, r.Subject, r.Date, MailBoxNumber::Outbox, false});
  }
  state.Store().WriteMailIndex(index);

  const auto check = [&](bool final) {
    // What a restart finds.
    AppState after(program);
    int recovered = 0;
    after.Keeper.Load(after.Index, &recovered);
    const QHash<int, int> counts = ReceivedCounts(outdir);
    int duplicates = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
      duplicates += it.value() - 1;
      if (it.key() >= after.Index.size() || after.Index[it.key()].MailBox != MailBoxNumber::Sent)
        ++report.AcceptedNotSent;
    }
    report.Duplicates = duplicates;
    report.Received = static_cast<int>(counts.size());
    if (final) {
      for (const MailIndexEntry& e : after.Index) {
        if (e.MailBox == MailBoxNumber::Outbox) ++report.OutboxLeft;
        if (e.MailBox == MailBoxNumber::Sent && !counts.contains(e.Seq)) ++report.SentNotReceived;
      }
    }
  };

  QRandomGenerator rng(20261208);
  for (int k = 0; k < kills; ++k) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(child, {program});
    if (!run.waitForStarted(10000)) {
      report.Problem = QStringLiteral("the batch did not start");
      return report;
    }
    QThread::msleep(rng.bounded(maxDelayMs + 1));
    if (run.state() == QProcess::Running) {
      ::kill(static_cast<pid_t>(run.processId()), SIGKILL);
      ++report.Kills;
    }
    run.waitForFinished(30000);
    check(false);
  }
  // The last run goes to its end.
  QProcess last;
  last.setProcessChannelMode(QProcess::ForwardedChannels);
  last.start(child, {program});
  last.waitForFinished(300000);
  check(true);
  return report;
}
