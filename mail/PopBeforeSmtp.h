#pragma once

#include "mail/LineDialogue.h"

#include <QString>

// The POP3 login some SMTP servers want first: USER, PASS, QUIT. Every failure
// is silent; Run() says only whether the login went through.
//
// Secure, the login never goes out in clear: POP3S (TLS from the first byte)
// is tried first, and where the server does not speak TLS on that port, STLS
// on a new connection; a server that offers neither gets no login at all.
class PopBeforeSmtp : public LineDialogue {
  Q_OBJECT
 public:
  explicit PopBeforeSmtp(QObject* parent = nullptr);
  ~PopBeforeSmtp() override;

  // Each reply is due within 10 s, the whole login within 20 s.
  static constexpr int kReplyTimeoutMs = 10000;
  static constexpr int kWholeTimeoutMs = 20000;

  void SetSecure(bool secure) { secure_ = secure; }

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
  void TlsReady() override;
  void finish();
  void login();

  bool secure_ = false;
  bool stls_ = false;  // this attempt asks for STLS in clear first

  QString state_;
  QString account_;
  QString password_;
  bool succeeded_ = false;
};
