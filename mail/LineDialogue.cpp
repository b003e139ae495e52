#include "mail/LineDialogue.h"

#include "support/Cp932.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>

LineDialogue::LineDialogue(ReplyLines::Kind kind, const QString& socketName, QObject* parent)
    : QObject(parent), socket_(new QSslSocket(this)), spare_(new QSslSocket(this)), lines_(kind) {
  socket_->setObjectName(socketName);
  spare_->setObjectName(socketName);
  for (QTimer* t : {&reply_, &upload_, &whole_}) t->setSingleShot(true);
  attach(socket_);
  attach(spare_);
  connect(&reply_, &QTimer::timeout, this, [this] {
    if (!done_) Failed(Failure::NoReply);
  });
  connect(&upload_, &QTimer::timeout, this, [this] {
    if (!done_) Failed(Failure::UploadStalled);
  });
  connect(&whole_, &QTimer::timeout, this, [this] {
    if (!done_) Failed(Failure::WholeTime);
  });
}

// Both sockets take turns: only the dialogue's own one is listened to; a
// connection opened ahead keeps what arrives until its dialogue begins.
void LineDialogue::attach(QSslSocket* s) {
  connect(s, &QTcpSocket::readyRead, this, [this, s] {
    if (s == socket_) arrived();
  });
  connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
    if (s == socket_) written();
  });
  // Commands and the end of a message are small writes that must leave at
  // once, not wait for the acknowledgement of the write before them.
  connect(s, &QTcpSocket::connected, this, [this, s] {
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (s == socket_) connected_ = true;
  });
  // Certificate problems are never ignored: the handshake fails with them,
  // and the dialogue says which they were.
  connect(s, &QSslSocket::sslErrors, this, [this, s](const QList<QSslError>& errors) {
    if (s != socket_) return;
    sslErrors_ = errors;
    peerCertificate_ = s->peerCertificate();
    for (const QSslError& e : errors)
      if (peerCertificate_.isNull() && !e.certificate().isNull()) peerCertificate_ = e.certificate();
  });
  connect(s, &QSslSocket::encrypted, this, [this, s] {
    if (s != socket_) return;
    encrypted_ = true;
    if (!done_) TlsReady();
  });
  connect(s, &QTcpSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError error) {
    if (s == socket_ && !done_) SocketError(error);
  });
  connect(s, &QTcpSocket::disconnected, this, [this, s] {
    if (s == socket_ && !done_) SocketClosed();
  });
}

void LineDialogue::configure(QSslSocket* s) const {
  // The system's authorities are read once: reading them is most of what a
  // TLS connection costs here.
  static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  QList<QSslCertificate> authorities = system;
  authorities += trusted_;
  tls.setCaCertificates(authorities);
  tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
  tls.setProtocol(QSsl::SecureProtocols);
  s->setSslConfiguration(tls);
}

void LineDialogue::Preconnect(const QString& host, int port, bool tls) {
  if (spare_->state() == QAbstractSocket::ConnectingState || spare_->state() == QAbstractSocket::ConnectedState ||
      spare_->state() == QAbstractSocket::HostLookupState) {
    if (spareHost_ == host && sparePort_ == port && spareTls_ == tls) return;
  }
  spare_->abort();
  spareHost_ = host;
  sparePort_ = port;
  spareTls_ = tls;
  if (tls) {
    configure(spare_);
    spare_->connectToHostEncrypted(host, static_cast<quint16>(port));
  } else {
    spare_->connectToHost(host, static_cast<quint16>(port));
  }
}

void LineDialogue::DropPreconnected() {
  if (spare_->state() == QAbstractSocket::ConnectedState) {
    spare_->write("QUIT\r\n");
    spare_->flush();
    spare_->disconnectFromHost();
  } else {
    spare_->abort();
  }
  sparePort_ = -1;
}

LineDialogue::~LineDialogue() = default;

QString LineDialogue::FailureText(Failure failure, const Limits& limits) {
  switch (failure) {
    case Failure::NoReply:
      return QStringLiteral("Connection timed out: the server did not answer within %1 s").arg(limits.ReplyMs / 1000.0);
    case Failure::UploadStalled:
      return QStringLiteral("Connection timed out: the server took no data for %1 s")
          .arg(limits.UploadStallMs / 1000.0);
    case Failure::TooLong:
      return QStringLiteral("The server's reply was longer than any server sends (%1 bytes a line, %2 lines)")
          .arg(ReplyLines::kMaxLineBytes)
          .arg(ReplyLines::kMaxReplyLines);
    case Failure::WholeTime:
      return QStringLiteral("Connection timed out: the dialogue took more than %1 s").arg(limits.WholeMs / 1000.0);
  }
  return QString();
}

void LineDialogue::Converse(const QString& host, int port, bool tls) {
  // A leftover connection's close is not this dialogue's concern.
  done_ = true;
  const QAbstractSocket::SocketState ahead = spare_->state();
  const bool reuse = sparePort_ == port && spareHost_ == host && spareTls_ == tls &&
                     (ahead == QAbstractSocket::ConnectedState || ahead == QAbstractSocket::ConnectingState ||
                      ahead == QAbstractSocket::HostLookupState);
  sparePort_ = -1;
  if (reuse) {
    // The connection opened ahead becomes this dialogue's; the one before it
    // may still be closing after its QUIT, and is left to finish that.
    std::swap(socket_, spare_);
  } else {
    socket_->abort();
  }
  lines_.Clear();
  finalPending_ = false;
  sslErrors_.clear();
  peerCertificate_ = QSslCertificate();
  encrypted_ = reuse && socket_->isEncrypted();
  connected_ = reuse && socket_->state() == QAbstractSocket::ConnectedState;
  done_ = false;
  QEventLoop wait;
  wait_ = &wait;
  // The greeting is the reply to the connection.
  reply_.start(limits_.ReplyMs);
  if (limits_.WholeMs > 0) whole_.start(limits_.WholeMs);
  if (!reuse) {
    if (tls) {
      configure(socket_);
      socket_->connectToHostEncrypted(host, static_cast<quint16>(port));
    } else {
      socket_->connectToHost(host, static_cast<quint16>(port));
    }
  } else if (socket_->bytesAvailable() > 0)
    QTimer::singleShot(0, this, [this] {
      if (!done_) arrived();
    });
  // Windows repaint meanwhile, but the user's input waits until the dialogue
  // is over: nothing can start a second send or change the mail halfway.
  if (!done_) wait.exec(QEventLoop::ExcludeUserInputEvents);
  wait_ = nullptr;
  for (QTimer* t : {&reply_, &upload_, &whole_}) t->stop();
}

bool LineDialogue::StartTls() {
  // The server's reply to STARTTLS must be the last thing it said in clear:
  // whatever came after it was not protected, and is not taken as said.
  if (!lines_.Empty() || socket_->bytesAvailable() > 0) return false;
  lines_.Clear();
  reply_.start(limits_.ReplyMs);
  configure(socket_);
  socket_->startClientEncryption();
  return true;
}

void LineDialogue::Send(const QString& line) {
  socket_->write(Cp932::Encode(line) + QByteArrayLiteral("\r\n"));
  socket_->flush();
  reply_.start(limits_.ReplyMs);
}

void LineDialogue::SendBytes(const QByteArray& bytes) {
  reply_.stop();
  socket_->write(bytes);
  socket_->flush();
  if (socket_->bytesToWrite() > 0) upload_.start(limits_.UploadStallMs);
}

void LineDialogue::SendFinal(const QByteArray& bytes) {
  SendBytes(bytes);
  if (socket_->bytesToWrite() > 0)
    finalPending_ = true;
  else
    reply_.start(limits_.FinalReplyMs);
}

void LineDialogue::written() {
  if (done_) return;
  if (socket_->bytesToWrite() > 0) {
    upload_.start(limits_.UploadStallMs);
    return;
  }
  upload_.stop();
  if (finalPending_) {
    finalPending_ = false;
    reply_.start(limits_.FinalReplyMs);
  }
}

void LineDialogue::End() {
  if (done_) return;
  done_ = true;
  for (QTimer* t : {&reply_, &upload_, &whole_}) t->stop();
  if (wait_ != nullptr) wait_->quit();
}

void LineDialogue::arrived() {
  if (done_) return;
  lines_.Add(socket_->readAll());
  QString reply;
  while (!done_ && lines_.Next(reply)) {
    // The reply is complete; the next command starts the next deadline.
    reply_.stop();
    Reply(reply);
  }
  if (!done_ && lines_.Overflowed()) Failed(Failure::TooLong);
}
