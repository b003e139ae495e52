#pragma once

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
    if (out.startsWith("PORT ")) port_ = out.mid(5).trimmed().toInt();
  }
  ~ServerProcess() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(15000)) process_.kill();
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  // 0 when the server did not start.
  int Port() const { return port_; }

 private:
  QProcess process_;
  int port_ = 0;
};
