#pragma once

#include "mail/LineDialogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// One SMTP dialogue over its own socket: HELO, MAIL FROM, one RCPT TO per
// recipient, DATA, the message, QUIT. Run() waits, with events processed, until
// the dialogue has ended.
class SmtpDialogue : public LineDialogue {
  Q_OBJECT
 public:
  struct Outcome {
    bool Sent = false;
    // Refused, unreachable, dropped or silent: the socket's failure.
    bool ConnectionFailed = false;
    int ErrorNumber = 0;
    QString ErrorDescription;
    // The reply that broke the dialogue (SmtpErrorText), all its lines, or
    // why the dialogue did not begin (a command argument that is not one line).
    QString ServerReply;
    // The message's text had gone, but the commit could not be recorded, so
    // the end of the message was never sent: the server dropped it.
    bool NotRecorded = false;
  };

  // How the dialogue protects itself and logs in. The default is the
  // dialogue of old, byte for byte: HELO, no TLS, no login.
  struct Security {
    enum class Mode { None, StartTls, Tls };
    Mode Connection = Mode::None;
    bool Login = false;
    QString User;
    QString Password;
    // Where the user may put a server certificate to trust (named in the
    // message about a certificate that cannot be verified).
    QString TrustFile;
    bool operator==(const Security&) const = default;
  };

  explicit SmtpDialogue(QObject* parent = nullptr);
  ~SmtpDialogue() override;

  void SetSecurity(const Security& security) { security_ = security; }
  const Security& CurrentSecurity() const { return security_; }

  // Another message to the same server follows this one (a batch): its
  // connection is opened while this message is being accepted.
  void SetNextFollows(bool follows) { nextFollows_ = follows; }

  // Called just before the "." that hands the message over; a false answer
  // abandons the message instead (the server then drops it).
  std::function<bool()> BeforeCommit;

  Outcome Run(const QString& host, int port, const QString& from, const QStringList& recipients,
              const QByteArray& message);
  QString SmtpState() const { return state_; }
  QTcpSocket* Socket() const { return socket_; }

  // The message as it goes over the wire: every line that begins with "."
  // gets one more, so that the receiver keeps exactly the message's text.
  static QByteArray Transparent(const QByteArray& message);
  static int TimeoutErrorNumber() { return 10060; }
  // A command argument may not hold a line break or another control character
  // (it would end the command and start another), nor anything beyond ASCII.
  static bool SafeArgument(const QString& text);
  static QString UnsafeArgumentText();
  // Why a send stopped before anything was said that needs protection.
  static QString NoStartTlsText(const QString& host);
  static QString StartTlsInjectedText();
  static QString NoLoginText(const QString& host, const QString& offered);
  static QString CertificateText(const QString& host, const QList<QSslError>& errors,
                                 const QSslCertificate& certificate, const QString& trustFile);
  // The login mechanism chosen among those the server offers ("PLAIN",
  // "LOGIN", "CRAM-MD5"), or an empty string when none will do.
  static QString ChooseMechanism(const QStringList& offered, bool tls);

 Q_SIGNALS:
  // The greeting was accepted: the dialogue proper begins.
  void Greeted();
  void Progress(int value);

 private:
  void Reply(const QString& text) override;
  void Failed(Failure failure) override;
  void SocketError(QAbstractSocket::SocketError error) override;
  void SocketClosed() override;
  void TlsReady() override;
  void failed(int number, const QString& description);
  void greet();
  void sendEhlo();
  void extensions(const QString& reply);
  void sendMailFrom();
  void stop(const QString& why);

  Security security_;
  QStringList offered_;  // the AUTH mechanisms of the last EHLO reply
  bool startTls_ = false;

  QString state_;
  QString from_;
  QString host_;
  int port_ = 0;
  bool nextFollows_ = false;
  QStringList recipients_;
  QByteArray message_;
  int rcptIndex_ = 0;
  bool accepted_ = false;
  Outcome outcome_;
};

// The socket's error as a number and text for the user's message box, in the
// numbering mail users know from Windows sockets.
int SocketErrorNumber(int qtError);
