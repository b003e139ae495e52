#include "mail/SmtpDialogue.h"

#include "support/Cp932.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QMessageAuthenticationCode>
#include <QSslSocket>

namespace {
const QString kConnect = QStringLiteral("Connect");
const QString kHelo = QStringLiteral("Helo");
const QString kMailFrom = QStringLiteral("Mail From");
const QString kRcptTo = QStringLiteral("Rcpt To");
const QString kData = QStringLiteral("Data");
const QString kBody = QStringLiteral("Body");
const QString kQuit = QStringLiteral("Quit");
const QString kEhlo = QStringLiteral("Ehlo");
const QString kStartTls = QStringLiteral("StartTls");
const QString kHandshake = QStringLiteral("Handshake");
const QString kAuth = QStringLiteral("Auth");
const QString kAuthLogin = QStringLiteral("Auth Login");
const QString kAuthUser = QStringLiteral("Auth User");
const QString kAuthCram = QStringLiteral("Auth Cram");

QString base64(const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); }
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

SmtpDialogue::SmtpDialogue(QObject* parent) : LineDialogue(ReplyLines::Kind::Smtp, QStringLiteral("wsMail"), parent) {}

QString SmtpDialogue::NoStartTlsText(const QString& host) {
  return QStringLiteral("サーバ %1 がSTARTTLSに対応していないため、送信を中止しました。").arg(host) +
         QStringLiteral("\r\n") +
         QStringLiteral(
             "暗号化しないままパスワードやメールを送ることはしません。サーバのポートと接続の保護の設定を確かめてくださ"
             "い。");
}

QString SmtpDialogue::StartTlsInjectedText() {
  return QStringLiteral("サーバがSTARTTLSの応答のあとに余分なデータを送ってきたため、送信を中止しました。") +
         QStringLiteral("\r\n") + QStringLiteral("通信が途中で書き換えられている可能性があります。");
}

QString SmtpDialogue::NoLoginText(const QString& host, const QString& offered) {
  return QStringLiteral("サーバ %1 で使えるSMTP認証の方式がないため、送信を中止しました。").arg(host) +
         QStringLiteral("\r\n") + QStringLiteral("サーバの方式: ") +
         (offered.isEmpty() ? QStringLiteral("（なし）") : offered);
}

QString SmtpDialogue::CertificateText(const QString& host, const QList<QSslError>& errors,
                                      const QSslCertificate& certificate, const QString& trustFile) {
  QStringList reasons;
  for (const QSslError& e : errors) reasons << e.errorString();
  QString fingerprint;
  const QByteArray digest = certificate.isNull() ? QByteArray() : certificate.digest(QCryptographicHash::Sha256);
  for (qsizetype i = 0; i < digest.size(); ++i)
    fingerprint += (i > 0 ? QStringLiteral(":") : QString()) + QString::fromLatin1(digest.mid(i, 1).toHex().toUpper());
  QString text = QStringLiteral("サーバ %1 の証明書を確認できないため、送信を中止しました。").arg(host) +
                 QStringLiteral("\r\n\r\n") + QStringLiteral("理由: ") + reasons.join(QStringLiteral(" / "));
  if (!certificate.isNull()) {
    text += QStringLiteral("\r\n") + QStringLiteral("証明書の名前: ") +
            certificate.subjectInfo(QSslCertificate::CommonName).join(QStringLiteral(", ")) + QStringLiteral("\r\n") +
            QStringLiteral("有効期間: ") + certificate.effectiveDate().toString(Qt::ISODate) + QStringLiteral(" ～ ") +
            certificate.expiryDate().toString(Qt::ISODate) + QStringLiteral("\r\n") + QStringLiteral("SHA-256 指紋: ") +
            fingerprint;
  }
  if (!trustFile.isEmpty())
    text += QStringLiteral("\r\n\r\n") +
            QStringLiteral(
                "このサーバの証明書であることを指紋で確かめたうえで信頼する場合は、証明書（PEM "
                "形式）を次のファイルに加えてください: ") +
            trustFile;
  return text;
}

QString SmtpDialogue::ChooseMechanism(const QStringList& offered, bool tls) {
  // Over TLS the password is protected whatever the mechanism; in clear,
  // CRAM-MD5 at least keeps it off the wire.
  const QStringList order =
      tls ? QStringList{QStringLiteral("PLAIN"), QStringLiteral("LOGIN"), QStringLiteral("CRAM-MD5")}
          : QStringList{QStringLiteral("CRAM-MD5"), QStringLiteral("PLAIN"), QStringLiteral("LOGIN")};
  for (const QString& m : order)
    if (offered.contains(m, Qt::CaseInsensitive)) return m;
  return QString();
}

void SmtpDialogue::SocketError(QAbstractSocket::SocketError error) {
  // The server closing after our QUIT is the end, not a failure.
  if (state_ == kQuit && error == QAbstractSocket::RemoteHostClosedError) {
    End();
    return;
  }
  // A certificate that could not be verified: the user is told which, and why.
  if (!SslErrors().isEmpty()) {
    outcome_.ServerReply = CertificateText(host_, SslErrors(), PeerCertificate(), security_.TrustFile);
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
  const int number =
      failure == Failure::TooLong ? SocketErrorNumber(QAbstractSocket::UnknownSocketError) : TimeoutErrorNumber();
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
  return QStringLiteral(
      "送信を中止しました。アドレスに改行などの制御文字か、半角英数字と記号のほかの文字が含まれています。");
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
  offered_.clear();
  startTls_ = false;
  Converse(host, port, security_.Connection == Security::Mode::Tls);
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
    Q_EMIT Progress(70);
    greet();
  } else if (state_ == kHelo) {
    if (code != QStringLiteral("250")) return unexpected();
    sendMailFrom();
  } else if (state_ == kEhlo) {
    if (code != QStringLiteral("250")) return unexpected();
    extensions(text);
    if (security_.Connection == Security::Mode::StartTls && !Encrypted()) {
      // No protection offered: nothing more is said, least of all a password.
      if (!startTls_) return stop(NoStartTlsText(host_));
      Send(QStringLiteral("STARTTLS"));
      state_ = kStartTls;
      return;
    }
    if (!security_.Login) return sendMailFrom();
    const QString mechanism = ChooseMechanism(offered_, Encrypted());
    if (mechanism.isEmpty()) return stop(NoLoginText(host_, offered_.join(u' ')));
    const QByteArray user = security_.User.toUtf8();
    const QByteArray password = security_.Password.toUtf8();
    if (mechanism == QStringLiteral("PLAIN")) {
      Send(QStringLiteral("AUTH PLAIN ") + base64(QByteArray(1, '\0') + user + QByteArray(1, '\0') + password));
      state_ = kAuth;
    } else if (mechanism == QStringLiteral("LOGIN")) {
      Send(QStringLiteral("AUTH LOGIN"));
      state_ = kAuthLogin;
    } else {
      Send(QStringLiteral("AUTH CRAM-MD5"));
      state_ = kAuthCram;
    }
  } else if (state_ == kStartTls) {
    if (code != QStringLiteral("220")) return unexpected();
    if (!StartTls()) return stop(StartTlsInjectedText());
    state_ = kHandshake;
  } else if (state_ == kAuthLogin) {
    if (code != QStringLiteral("334")) return unexpected();
    Send(base64(security_.User.toUtf8()));
    state_ = kAuthUser;
  } else if (state_ == kAuthUser) {
    if (code != QStringLiteral("334")) return unexpected();
    Send(base64(security_.Password.toUtf8()));
    state_ = kAuth;
  } else if (state_ == kAuthCram) {
    if (code != QStringLiteral("334")) return unexpected();
    const QByteArray challenge = QByteArray::fromBase64(text.mid(4).trimmed().toLatin1());
    const QByteArray digest =
        QMessageAuthenticationCode::hash(challenge, security_.Password.toUtf8(), QCryptographicHash::Md5).toHex();
    Send(base64(security_.User.toUtf8() + ' ' + digest));
    state_ = kAuth;
  } else if (state_ == kAuth) {
    // A refused login ends here with the server's own words (535 ...).
    if (code != QStringLiteral("235")) return unexpected();
    sendMailFrom();
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
    if (nextFollows_) Preconnect(host_, port_, security_.Connection == Security::Mode::Tls);
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

void SmtpDialogue::greet() {
  // The dialogue of old, unchanged, where nothing more is asked for.
  if (security_.Connection == Security::Mode::None && !security_.Login) {
    Send(QStringLiteral("HELO TALLPOST"));
    state_ = kHelo;
    return;
  }
  sendEhlo();
}

void SmtpDialogue::sendEhlo() {
  // EHLO names this end by its address, as a client without a name of its
  // own does.
  const QHostAddress local = socket_->localAddress();
  QString name = QStringLiteral("[127.0.0.1]");
  if (local.protocol() == QAbstractSocket::IPv4Protocol)
    name = u'[' + local.toString() + u']';
  else if (local.protocol() == QAbstractSocket::IPv6Protocol)
    name = QStringLiteral("[IPv6:") + local.toString() + u']';
  Send(QStringLiteral("EHLO ") + name);
  state_ = kEhlo;
}

void SmtpDialogue::extensions(const QString& reply) {
  offered_.clear();
  startTls_ = false;
  for (const QString& line : reply.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
    const QStringList words = line.mid(4).trimmed().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) continue;
    const QString keyword = words.front().toUpper();
    if (keyword == QStringLiteral("STARTTLS")) startTls_ = true;
    if (keyword == QStringLiteral("AUTH") || keyword == QStringLiteral("AUTH="))
      for (const QString& m : words.mid(1)) offered_ << m.toUpper();
  }
  offered_.removeDuplicates();
}

void SmtpDialogue::TlsReady() {
  // After STARTTLS everything the server said before counts for nothing: it
  // is asked again under protection.
  if (state_ == kHandshake) sendEhlo();
}

void SmtpDialogue::sendMailFrom() {
  Send(QStringLiteral("MAIL FROM:<") + from_ + u'>');
  Q_EMIT Progress(75);
  state_ = kMailFrom;
}

void SmtpDialogue::stop(const QString& why) {
  Send(QStringLiteral("QUIT"));
  outcome_.ServerReply = why;
  state_ = kQuit;
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
