#pragma once

#include "mail/ReplyLines.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>
#include <QString>
#include <QTimer>

class QEventLoop;
class QTcpSocket;

// A conversation with a line-based server over one socket, as the SMTP and POP
// dialogues hold it: connect, then wait — windows repaint, the user's input
// waits — until the dialogue ends; the server's bytes come in as whole
// replies, however they arrive.
//
// Time limits measure the server, not the link: the reply to a command must be
// complete within ReplyMs of the command (so a server that trickles a byte at
// a time cannot hold the dialogue open), the reply to the end of a message
// within FinalReplyMs of its last byte leaving (servers may take minutes to
// accept a message, and a mail reported failed that did arrive is sent twice
// by the user's retry), and an upload fails only when no byte could be
// written for UploadStallMs. WholeMs, when set, bounds the whole dialogue.
class LineDialogue : public QObject {
  Q_OBJECT
 public:
  struct Limits {
    int ReplyMs = 30000;
    int FinalReplyMs = 600000;
    int UploadStallMs = 30000;
    int WholeMs = 0;  // none
  };
  enum class Failure { NoReply, UploadStalled, TooLong, WholeTime };

  void SetTimeout(int ms) { limits_.ReplyMs = ms; }
  Limits& Timing() { return limits_; }

  // Certificates trusted besides the system's own (a server's self-signed
  // certificate the user chose to trust). Nothing else is ever trusted.
  void SetTrusted(const QList<QSslCertificate>& certificates) { trusted_ = certificates; }

  // Opens the connection of the dialogue after this one, so that its
  // greeting is on its way while this one ends; the next dialogue with the
  // same host, port and encryption takes it. One connection per dialogue all
  // the same.
  void Preconnect(const QString& host, int port, bool tls = false);
  // A connection opened ahead and not needed after all: closed politely.
  void DropPreconnected();

 protected:
  LineDialogue(ReplyLines::Kind kind, const QString& socketName, QObject* parent);
  ~LineDialogue() override;

  // Connects (with TLS from the first byte when tls) and waits until End();
  // the socket is still open afterwards.
  void Converse(const QString& host, int port, bool tls = false);
  // Turns the connection into a TLS one (after the server agreed to
  // STARTTLS or STLS): Encrypted() follows, or SocketError(). False, and
  // nothing done, when the server sent more than its reply before the
  // handshake (bytes that would count as sent under TLS).
  bool StartTls();
  // The certificate problems of the last handshake, and the server's
  // certificate they were about.
  const QList<QSslError>& SslErrors() const { return sslErrors_; }
  const QSslCertificate& PeerCertificate() const { return peerCertificate_; }
  bool Encrypted() const { return encrypted_; }
  // The connection was made (before any TLS handshake).
  bool Connected() const { return connected_; }
  // One command line, sent at once: its reply is due within ReplyMs.
  void Send(const QString& line);
  // Bytes of a message: watched for progress, no reply due.
  void SendBytes(const QByteArray& bytes);
  // The last bytes of a message: its reply is due FinalReplyMs after they left.
  void SendFinal(const QByteArray& bytes);
  // Ends the wait; later arrivals are not answered.
  void End();
  bool Ended() const { return done_; }

  // A whole reply, all its lines with their CR LF.
  virtual void Reply(const QString& reply) = 0;
  // A time limit ran out, or the server's reply broke the limits of its size.
  virtual void Failed(Failure failure) = 0;
  // The dialogue's own connection failed, or the server closed it.
  virtual void SocketError(QAbstractSocket::SocketError error) = 0;
  virtual void SocketClosed() = 0;
  // The TLS handshake is done and the certificate verified.
  virtual void TlsReady() {}

  static QString FailureText(Failure failure, const Limits& limits);

  QSslSocket* socket_;
  Limits limits_;

 private:
  void attach(QSslSocket* socket);
  void configure(QSslSocket* socket) const;
  void arrived();
  void written();

  QSslSocket* spare_;
  QString spareHost_;
  int sparePort_ = -1;
  bool spareTls_ = false;
  QList<QSslCertificate> trusted_;
  QList<QSslError> sslErrors_;
  QSslCertificate peerCertificate_;
  bool encrypted_ = false;
  bool connected_ = false;
  ReplyLines lines_;
  QTimer reply_;
  QTimer upload_;
  QTimer whole_;
  bool finalPending_ = false;
  QEventLoop* wait_ = nullptr;
  bool done_ = true;
};
