#include "mail/PopBeforeSmtp.h"

#include "support/TextForm.h"

#include <QSslSocket>

PopBeforeSmtp::PopBeforeSmtp(QObject* parent)
    : LineDialogue(ReplyLines::Kind::Pop, QStringLiteral("wsPopBefore"), parent) {
  limits_.ReplyMs = kReplyTimeoutMs;
  limits_.WholeMs = kWholeTimeoutMs;
}

PopBeforeSmtp::~PopBeforeSmtp() = default;

bool PopBeforeSmtp::Run(const QString& host, int port, const QString& account, const QString& password) {
  if (host.isEmpty() || port == -1) return false;
  // A line break in the account or password would end the command early and
  // start another: such a login is not tried.
  if (TextForm::HasControl(account) || TextForm::HasControl(password)) return false;
  account_ = account;
  password_ = password;
  const auto attempt = [&](bool stls) {
    state_.clear();
    succeeded_ = false;
    stls_ = stls;
    Converse(host, port, secure_ && !stls);
    // Let the last command leave before the socket is dropped.
    if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->waitForDisconnected(1000);
    socket_->abort();
  };
  attempt(false);
  // A server that answered, but not in TLS, and whose certificate was not the
  // problem: the same port in clear, with STLS.
  if (secure_ && !succeeded_ && Connected() && !Encrypted() && SslErrors().isEmpty()) attempt(true);
  return succeeded_;
}

void PopBeforeSmtp::login() {
  Send(QStringLiteral("USER ") + account_);
  state_ = QStringLiteral("USER");
}

void PopBeforeSmtp::TlsReady() {
  if (state_ == QStringLiteral("STLS")) login();
}

void PopBeforeSmtp::Reply(const QString& line) {
  if (line.left(3).toUpper() != QStringLiteral("+OK")) {
    Send(QStringLiteral("QUIT"));
    succeeded_ = false;
    finish();
    return;
  }
  if (state_.isEmpty()) {
    if (!stls_) return login();
    Send(QStringLiteral("STLS"));
    state_ = QStringLiteral("STLS");
  } else if (state_ == QStringLiteral("STLS")) {
    // Anything the server said after its +OK was not protected: no login.
    if (!StartTls()) {
      finish();
      return;
    }
  } else if (state_ == QStringLiteral("USER")) {
    Send(QStringLiteral("PASS ") + password_);
    state_ = QStringLiteral("PASS");
  } else if (state_ == QStringLiteral("PASS")) {
    Send(QStringLiteral("QUIT"));
    state_ = QStringLiteral("QUIT");
  } else if (state_ == QStringLiteral("QUIT")) {
    succeeded_ = true;
    finish();
  }
}

void PopBeforeSmtp::finish() {
  if (Ended()) return;
  // What was written goes out before the close.
  socket_->disconnectFromHost();
  End();
}
