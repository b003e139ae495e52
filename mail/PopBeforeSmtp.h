#pragma once

#include "mail/ReplyLines.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QEventLoop;
class QTcpSocket;

// The POP3 login some SMTP servers want first: USER, PASS, QUIT. Every failure
// is silent; Run() says only whether the login went through.
class PopBeforeSmtp : public QObject {
  Q_OBJECT
 public:
  explicit PopBeforeSmtp(QObject* parent = nullptr);
  ~PopBeforeSmtp() override;

  void SetTimeout(int ms) { timeoutMs_ = ms; }
  static constexpr int kDefaultTimeoutMs = 10000;

  // No connection at all when host is empty or port is -1.
  bool Run(const QString& host, int port, const QString& account, const QString& password);
  QString PopState() const { return state_; }
  QTcpSocket* Socket() const { return wsPopBefore_; }

 private:
  void arrived();
  void reply(const QString& line);
  void send(const QString& line);
  void finish();

  QTcpSocket* wsPopBefore_;
  ReplyLines lines_{ReplyLines::Kind::Pop};
  QTimer timeout_;
  QEventLoop* wait_ = nullptr;
  int timeoutMs_ = kDefaultTimeoutMs;
  QString state_;
  QString account_;
  QString password_;
  bool succeeded_ = false;
  bool done_ = true;
};
