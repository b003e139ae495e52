#include "tests/testsupport/ScriptedServer.h"

#include <QTcpSocket>
#include <QTimer>

ScriptedServer::ScriptedServer() {
  Answer = PoliteSmtp;
  server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::accepted);
}

QByteArray PoliteSmtp(const QByteArray& line) {
  if (line.startsWith("DATA")) return "354 go ahead\r\n";
  if (line.startsWith("QUIT")) return "221 bye\r\n";
  return "250 ok\r\n";
}

void ScriptedServer::accepted() {
  while (QTcpSocket* client = server_.nextPendingConnection()) {
    ++Connections;
    buffer_.clear();
    inData_ = false;
    connect(client, &QTcpSocket::readyRead, this, [this, client] { arrived(client); });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    // Each piece of the greeting a little after the one before, so that they
    // arrive apart.
    for (qsizetype i = 0; i < Greeting.size(); ++i) {
      const QByteArray piece = Greeting[i];
      QTimer::singleShot(static_cast<int>(60 * i), client, [client, piece] {
        client->write(piece);
        client->flush();
      });
    }
  }
}

void ScriptedServer::arrived(QTcpSocket* client) {
  buffer_ += client->readAll();
  for (;;) {
    const qsizetype lf = buffer_.indexOf('\n');
    if (lf < 0) break;
    const QByteArray raw = buffer_.left(lf + 1);
    buffer_.remove(0, lf + 1);
    QByteArray line = raw;
    line.chop(line.endsWith("\r\n") ? 2 : 1);
    if (inData_) {
      if (line == ".") {
        inData_ = false;
        const QByteArray answer = Answer(line);
        if (!answer.isEmpty()) client->write(answer);
        continue;
      }
      Message += raw;
      if (DropDuringDataAfter >= 0 && Message.size() >= DropDuringDataAfter) {
        client->abort();
        return;
      }
      continue;
    }
    Commands.append(line);
    const QByteArray answer = Answer(line);
    if (answer.startsWith("354")) inData_ = true;
    if (!answer.isEmpty()) client->write(answer);
  }
}
