#pragma once

#include "mail/LineDialogue.h"

#include <QString>

// The POP3 login some SMTP servers want first: USER, PASS, QUIT. Every failure
// is silent; Run() says only whether the login went through.
class PopBeforeSmtp : public LineDialogue {
  Q_OBJECT
 public:
  explicit PopBeforeSmtp(QObject* parent = nullptr);
  ~PopBeforeSmtp() override;

  // Each reply is due within 10 s, the whole login within 20 s.
  static constexpr int kReplyTimeoutMs = 10000;
  static constexpr int kWholeTimeoutMs = 20000;

  // No connection at all when host is empty or port is -1.
  bool Run(const QString& host, int port, const QString& account, const QString& password);
  QString PopState() const { return state_; }
  QTcpSocket* Socket() const { return socket_; }

 private:
  void Reply(const QString& line) override;
  // Every failure is silent: the login just did not happen.
  void Failed(Failure) override { finish(); }
  void SocketError(QAbstractSocket::SocketError) override { finish(); }
  void SocketClosed() override { finish(); }
  void finish();

  QString state_;
  QString account_;
  QString password_;
  bool succeeded_ = false;
};
