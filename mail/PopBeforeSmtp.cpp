#include "mail/PopBeforeSmtp.h"

#include "support/Cp932.h"

#include <QEventLoop>
#include <QTcpSocket>

PopBeforeSmtp::PopBeforeSmtp(QObject* parent) : QObject(parent), wsPopBefore_(new QTcpSocket(this)) {
  wsPopBefore_->setObjectName(QStringLiteral("wsPopBefore"));
  timeout_.setSingleShot(true);
  connect(wsPopBefore_, &QTcpSocket::readyRead, this, &PopBeforeSmtp::arrived);
  connect(wsPopBefore_, &QTcpSocket::errorOccurred, this, &PopBeforeSmtp::finish);
  connect(wsPopBefore_, &QTcpSocket::disconnected, this, &PopBeforeSmtp::finish);
  connect(&timeout_, &QTimer::timeout, this, &PopBeforeSmtp::finish);
}

PopBeforeSmtp::~PopBeforeSmtp() = default;

bool PopBeforeSmtp::Run(const QString& host, int port, const QString& account, const QString& password) {
  if (host.isEmpty() || port == -1) return false;
  done_ = true;
  wsPopBefore_->abort();
  account_ = account;
  password_ = password;
  state_.clear();
  succeeded_ = false;
  lines_.Clear();
  done_ = false;
  QEventLoop wait;
  wait_ = &wait;
  timeout_.start(timeoutMs_);
  wsPopBefore_->connectToHost(host, static_cast<quint16>(port));
  if (!done_) wait.exec(QEventLoop::ExcludeUserInputEvents);
  wait_ = nullptr;
  timeout_.stop();
  // Let the last command leave before the socket is dropped.
  if (wsPopBefore_->state() != QAbstractSocket::UnconnectedState) wsPopBefore_->waitForDisconnected(1000);
  wsPopBefore_->abort();
  return succeeded_;
}

void PopBeforeSmtp::send(const QString& line) {
  wsPopBefore_->write(Cp932::Encode(line) + QByteArrayLiteral("\r\n"));
  wsPopBefore_->flush();
}

void PopBeforeSmtp::arrived() {
  if (done_) return;
  timeout_.start(timeoutMs_);
  lines_.Add(wsPopBefore_->readAll());
  QString line;
  while (!done_ && lines_.Next(line)) reply(line);
}

void PopBeforeSmtp::reply(const QString& line) {
  if (line.left(3).toUpper() != QStringLiteral("+OK")) {
    send(QStringLiteral("QUIT"));
    succeeded_ = false;
    wsPopBefore_->flush();
    finish();
    return;
  }
  if (state_.isEmpty()) {
    send(QStringLiteral("USER ") + account_);
    state_ = QStringLiteral("USER");
  } else if (state_ == QStringLiteral("USER")) {
    send(QStringLiteral("PASS ") + password_);
    state_ = QStringLiteral("PASS");
  } else if (state_ == QStringLiteral("PASS")) {
    send(QStringLiteral("QUIT"));
    state_ = QStringLiteral("QUIT");
  } else if (state_ == QStringLiteral("QUIT")) {
    succeeded_ = true;
    finish();
  }
}

void PopBeforeSmtp::finish() {
  if (done_) return;
  done_ = true;
  timeout_.stop();
  // What was written goes out before the close.
  wsPopBefore_->disconnectFromHost();
  if (wait_ != nullptr) wait_->quit();
}
