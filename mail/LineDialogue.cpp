#include "mail/LineDialogue.h"

#include "support/Cp932.h"

#include <QEventLoop>
#include <QTcpSocket>

LineDialogue::LineDialogue(ReplyLines::Kind kind, const QString& socketName, QObject* parent)
    : QObject(parent), socket_(new QTcpSocket(this)), lines_(kind) {
  socket_->setObjectName(socketName);
  for (QTimer* t : {&reply_, &upload_, &whole_}) t->setSingleShot(true);
  connect(socket_, &QTcpSocket::readyRead, this, &LineDialogue::arrived);
  connect(socket_, &QTcpSocket::bytesWritten, this, &LineDialogue::written);
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

void LineDialogue::Converse(const QString& host, int port) {
  // A leftover connection's close is not this dialogue's concern.
  done_ = true;
  socket_->abort();
  lines_.Clear();
  finalPending_ = false;
  done_ = false;
  QEventLoop wait;
  wait_ = &wait;
  // The greeting is the reply to the connection.
  reply_.start(limits_.ReplyMs);
  if (limits_.WholeMs > 0) whole_.start(limits_.WholeMs);
  socket_->connectToHost(host, static_cast<quint16>(port));
  // Windows repaint meanwhile, but the user's input waits until the dialogue
  // is over: nothing can start a second send or change the mail halfway.
  if (!done_) wait.exec(QEventLoop::ExcludeUserInputEvents);
  wait_ = nullptr;
  for (QTimer* t : {&reply_, &upload_, &whole_}) t->stop();
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
