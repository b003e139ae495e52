#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// One of the servers of tests/integration/servers.py, run by the given
// Python; stopped (its standard input closed) when this goes.
class ServerProcess {
 public:
  ServerProcess(const QString& python, const QString& script, const QStringList& args) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(python, QStringList{script} + args);
    if (!process_.waitForStarted(10000)) return;
    QByteArray out;
    while (!out.contains('\n') && process_.waitForReadyRead(30000)) out += process_.readAllStandardOutput();
    if (out.startsWith("PORT "))
      for (const QByteArray& n : out.mid(5, out.indexOf('\n') - 5).trimmed().split(' ')) ports_.append(n.toInt());
  }
  ~ServerProcess() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(15000)) process_.kill();
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  // 0 when the server did not start.
  int Port(int i = 0) const { return ports_.value(i); }

 private:
  QProcess process_;
  QList<int> ports_;
};
