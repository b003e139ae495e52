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
    connect(client, &QTcpSocket::readyRead, this, [this, client] { arrived(client, false); });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    // Each piece of the greeting a little after the one before, so that they
    // arrive apart.
    for (qsizetype i = 0; i < Greeting.size(); ++i) deliver(client, Greeting[i], static_cast<int>(60 * i));
  }
}

void ScriptedServer::deliver(QTcpSocket* client, const QByteArray& bytes, int delayMs) {
  if (TrickleMs <= 0) {
    QTimer::singleShot(delayMs, client, [client, bytes] {
      client->write(bytes);
      client->flush();
    });
    return;
  }
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char byte = bytes[i];
    QTimer::singleShot(delayMs + static_cast<int>(i) * TrickleMs, client, [client, byte] {
      client->write(&byte, 1);
      client->flush();
    });
  }
}

void ScriptedServer::readSlowly(QTcpSocket* client) {
  // A small read buffer: what the socket does not take stays in the kernel,
  // whose buffers fill, and the client's writes stall.
  client->setReadBufferSize(ReadBytesPerTick > 0 ? ReadBytesPerTick : 1);
  if (ReadBytesPerTick < 0) return;
  auto* tick = new QTimer(client);
  connect(tick, &QTimer::timeout, client, [this, client] {
    if (client->bytesAvailable() > 0) arrived(client, true);
  });
  tick->start(ReadTickMs);
}

void ScriptedServer::arrived(QTcpSocket* client, bool tick) {
  if (inData_ && ReadBytesPerTick != 0) {
    // Slow reading: at most one chunk each tick, taken by the tick.
    if (ReadBytesPerTick < 0 || !tick) return;
    buffer_ += client->read(ReadBytesPerTick);
  } else {
    buffer_ += client->readAll();
  }
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
        client->setReadBufferSize(0);
        const QByteArray answer = Answer(line);
        if (!answer.isEmpty()) deliver(client, answer, DelayMs ? DelayMs(line) : 0);
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
    if (answer.startsWith("354")) {
      inData_ = true;
      if (ReadBytesPerTick != 0) readSlowly(client);
    }
    if (!answer.isEmpty()) deliver(client, answer, DelayMs ? DelayMs(line) : 0);
  }
}
