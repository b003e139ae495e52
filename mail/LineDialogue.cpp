#include "mail/LineDialogue.h"

#include "support/Cp932.h"

#include <QEventLoop>
#include <QTcpSocket>

LineDialogue::LineDialogue(ReplyLines::Kind kind, const QString& socketName, QObject* parent)
    : QObject(parent), socket_(new QTcpSocket(this)), timeoutMs_(30000), lines_(kind) {
  socket_->setObjectName(socketName);
  timeout_.setSingleShot(true);
  connect(socket_, &QTcpSocket::readyRead, this, &LineDialogue::arrived);
}

LineDialogue::~LineDialogue() = default;

void LineDialogue::Converse(const QString& host, int port) {
  // A leftover connection's close is not this dialogue's concern.
  done_ = true;
  socket_->abort();
  lines_.Clear();
  done_ = false;
  QEventLoop wait;
  wait_ = &wait;
  timeout_.start(timeoutMs_);
  socket_->connectToHost(host, static_cast<quint16>(port));
  // Windows repaint meanwhile, but the user's input waits until the dialogue
  // is over: nothing can start a second send or change the mail halfway.
  if (!done_) wait.exec(QEventLoop::ExcludeUserInputEvents);
  wait_ = nullptr;
  timeout_.stop();
}

void LineDialogue::Send(const QString& line) { SendBytes(Cp932::Encode(line) + QByteArrayLiteral("\r\n")); }

void LineDialogue::SendBytes(const QByteArray& bytes) {
  socket_->write(bytes);
  socket_->flush();
}

void LineDialogue::End() {
  if (done_) return;
  done_ = true;
  timeout_.stop();
  if (wait_ != nullptr) wait_->quit();
}

void LineDialogue::arrived() {
  if (done_) return;
  timeout_.start(timeoutMs_);
  lines_.Add(socket_->readAll());
  QString reply;
  while (!done_ && lines_.Next(reply)) Reply(reply);
}
