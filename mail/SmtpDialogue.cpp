#include "mail/SmtpDialogue.h"

#include "support/Cp932.h"

#include <QTcpSocket>

namespace {
const QString kConnect = QStringLiteral("Connect");
const QString kHelo = QStringLiteral("Helo");
const QString kMailFrom = QStringLiteral("Mail From");
const QString kRcptTo = QStringLiteral("Rcpt To");
const QString kData = QStringLiteral("Data");
const QString kBody = QStringLiteral("Body");
const QString kQuit = QStringLiteral("Quit");
}  // namespace

int SocketErrorNumber(int qtError) {
  switch (static_cast<QAbstractSocket::SocketError>(qtError)) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::RemoteHostClosedError:
      return 10053;
    case QAbstractSocket::HostNotFoundError:
      return 11001;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::NetworkError:
      return 10050;
    case QAbstractSocket::SocketAccessError:
      return 10013;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    default:
      return 10000 + qtError + 1;
  }
}

SmtpDialogue::SmtpDialogue(QObject* parent) : LineDialogue(ReplyLines::Kind::Smtp, QStringLiteral("wsMail"), parent) {
}

void SmtpDialogue::SocketError(QAbstractSocket::SocketError error) {
  // The server closing after our QUIT is the end, not a failure.
  if (state_ == kQuit && error == QAbstractSocket::RemoteHostClosedError) {
    End();
    return;
  }
  failed(SocketErrorNumber(error), socket_->errorString());
}

void SmtpDialogue::SocketClosed() {
  if (state_ == kQuit)
    End();
  else
    failed(SocketErrorNumber(QAbstractSocket::RemoteHostClosedError), socket_->errorString());
}

void SmtpDialogue::Failed(Failure failure) {
  const int number = failure == Failure::TooLong ? SocketErrorNumber(QAbstractSocket::UnknownSocketError)
                                                 : TimeoutErrorNumber();
  failed(number, FailureText(failure, limits_));
}

bool SmtpDialogue::SafeArgument(const QString& text) {
  // Printable ASCII: a control character would end the command, and a server
  // without SMTPUTF8 takes no other address.
  for (QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() >= 0x7F) return false;
  return true;
}

QString SmtpDialogue::UnsafeArgumentText() {
  return QStringLiteral("送信を中止しました。アドレスに改行などの制御文字か、半角英数字と記号のほかの文字が含まれています。");
}

SmtpDialogue::~SmtpDialogue() = default;

QByteArray SmtpDialogue::Transparent(const QByteArray& message) {
  static const QByteArray kEnd = QByteArrayLiteral("\r\n.\r\n");
  QByteArrayView text(message);
  const bool ended = text.endsWith(kEnd);
  if (ended) text.chop(3);  // keep the CR LF that ends the last line
  QByteArray out;
  out.reserve(message.size() + 64);
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype lf = text.indexOf('\n', start);
    const qsizetype end = lf < 0 ? text.size() : lf + 1;
    if (text[start] == '.') out += '.';
    out += text.sliced(start, end - start);
    start = end;
  }
  if (!out.endsWith("\r\n")) out += "\r\n";
  out += ".\r\n";
  return out;
}

SmtpDialogue::Outcome SmtpDialogue::Run(const QString& host, int port, const QString& from,
                                        const QStringList& recipients, const QByteArray& message) {
  outcome_ = Outcome{};
  // Nothing that could end a command early goes to the server.
  bool safe = SafeArgument(from);
  for (const QString& r : recipients) safe = safe && SafeArgument(r);
  if (!safe) {
    outcome_.ServerReply = UnsafeArgumentText();
    return outcome_;
  }
  from_ = from;
  host_ = host;
  port_ = port;
  recipients_ = recipients;
  message_ = message;
  rcptIndex_ = 0;
  accepted_ = false;
  state_ = kConnect;
  Converse(host, port);
  // After QUIT the connection closes in its own time; otherwise it is dropped.
  if (state_ == kQuit && socket_->state() != QAbstractSocket::UnconnectedState)
    socket_->disconnectFromHost();
  else
    socket_->abort();
  outcome_.Sent = accepted_ && outcome_.ServerReply.isEmpty() && !outcome_.ConnectionFailed;
  return outcome_;
}

void SmtpDialogue::Reply(const QString& text) {
  const QString code = text.left(3);
  if (state_ == kQuit) {
    End();
    return;
  }
  const auto unexpected = [&] {
    Send(QStringLiteral("QUIT"));
    outcome_.ServerReply = text;
    state_ = kQuit;
  };
  if (state_ == kConnect) {
    Q_EMIT Greeted();
    rcptIndex_ = 0;
    if (code != QStringLiteral("220")) return unexpected();
    Send(QStringLiteral("HELO TALLPOST"));
    Q_EMIT Progress(70);
    state_ = kHelo;
  } else if (state_ == kHelo) {
    if (code != QStringLiteral("250")) return unexpected();
    Send(QStringLiteral("MAIL FROM:<") + from_ + u'>');
    Q_EMIT Progress(75);
    state_ = kMailFrom;
  } else if (state_ == kMailFrom) {
    if (code != QStringLiteral("250")) return unexpected();
    Send(QStringLiteral("RCPT TO:<") + recipients_.value(rcptIndex_) + u'>');
    ++rcptIndex_;
    Q_EMIT Progress(80);
    if (rcptIndex_ >= recipients_.size()) state_ = kRcptTo;
  } else if (state_ == kRcptTo) {
    if (code != QStringLiteral("250")) return unexpected();
    Send(QStringLiteral("DATA"));
    Q_EMIT Progress(85);
    state_ = kData;
  } else if (state_ == kData) {
    if (code != QStringLiteral("354")) return unexpected();
    const QByteArray wire = Transparent(message_);
    // Everything but the final ".": until that arrives the server keeps nothing.
    SendBytes(wire.first(wire.size() - 3));
    Q_EMIT Progress(98);
    if (BeforeCommit && !BeforeCommit()) {
      outcome_.NotRecorded = true;
      failed(0, QString());
      return;
    }
    SendFinal(wire.last(3));
    state_ = kBody;
    // The next mail's connection opens while the server takes this one in.
    if (nextFollows_) Preconnect(host_, port_);
  } else if (state_ == kBody) {
    if (code != QStringLiteral("250")) return unexpected();
    accepted_ = true;
    Send(QStringLiteral("QUIT"));
    state_ = kQuit;
    // The mail is accepted: what the server says to QUIT changes nothing, so
    // the connection is closed without waiting for it (one round trip less
    // for every mail of a batch).
    socket_->disconnectFromHost();
    End();
  }
}

void SmtpDialogue::failed(int number, const QString& description) {
  if (Ended()) return;
  // After our QUIT only the end of the connection is left to wait for: what
  // the dialogue came to stands.
  if (state_ != kQuit) {
    outcome_.ConnectionFailed = true;
    outcome_.ErrorNumber = number;
    outcome_.ErrorDescription = description;
  }
  End();
}
