#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A line-based server on 127.0.0.1 that answers from a script, for dialogues
// that a polite server will not show: it records every line the client wrote.
// After a reply that begins with "354" it takes lines up to "." as the message.
class ScriptedServer : public QObject {
  Q_OBJECT
 public:
  ScriptedServer();
  quint16 Port() const { return server_.serverPort(); }

  // Sent on connection, each piece as an arrival of its own.
  QList<QByteArray> Greeting;
  // The answer to a command line (without CR LF); empty sends nothing.
  // "." is asked after the message.
  std::function<QByteArray(const QByteArray& line)> Answer;
  // Closes the connection once this many bytes of message have arrived.
  qsizetype DropDuringDataAfter = -1;
  // How long to wait before answering a line (greeting pieces not included).
  std::function<int(const QByteArray& line)> DelayMs;
  // Every answer (and greeting piece) goes out one byte at a time, this far apart.
  int TrickleMs = 0;
  // Once the message begins, take at most this many bytes every ReadTickMs
  // (0: read as they come); a negative value stops reading altogether.
  qsizetype ReadBytesPerTick = 0;
  int ReadTickMs = 50;

  QList<QByteArray> Commands;  // every line outside the message
  QByteArray Message;          // the message's lines as received, with CR LF
  int Connections = 0;

 private:
  void accepted();
  void arrived(QTcpSocket* client, bool tick);
  void deliver(QTcpSocket* client, const QByteArray& bytes, int delayMs);
  void readSlowly(QTcpSocket* client);

  QTcpServer server_;
  QByteArray buffer_;
  bool inData_ = false;
};

// Answers as a well-behaved SMTP server.
QByteArray PoliteSmtp(const QByteArray& line);
