#pragma once

#include "mail/ReplyLines.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QEventLoop;
class QTcpSocket;

// A conversation with a line-based server over one socket, as the SMTP and POP
// dialogues hold it: connect, then wait — windows repaint, the user's input
// waits — until the dialogue ends; the server's bytes come in as whole
// replies, however they arrive; an answer that does not come within the time
// set fires the time-out.
class LineDialogue : public QObject {
  Q_OBJECT
 public:
  void SetTimeout(int ms) { timeoutMs_ = ms; }

 protected:
  LineDialogue(ReplyLines::Kind kind, const QString& socketName, QObject* parent);
  ~LineDialogue() override;

  // Connects and waits until End(); the socket is still open afterwards.
  void Converse(const QString& host, int port);
  // One command line, sent at once: the server waits for it.
  void Send(const QString& line);
  void SendBytes(const QByteArray& bytes);
  // Ends the wait; later arrivals are not answered.
  void End();
  bool Ended() const { return done_; }

  // A whole reply, all its lines with their CR LF.
  virtual void Reply(const QString& reply) = 0;

  QTcpSocket* socket_;
  QTimer timeout_;
  int timeoutMs_;

 private:
  void arrived();

  ReplyLines lines_;
  QEventLoop* wait_ = nullptr;
  bool done_ = true;
};
