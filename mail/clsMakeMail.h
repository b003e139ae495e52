#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// Builds the text of one mail as it is sent after DATA: MIME with every piece of
// Japanese in ISO-2022-JP, and the envelope addresses for MAIL FROM and RCPT TO.
// The message is a byte string: 7-bit, except for bare address pieces typed with
// Japanese, which go out in their CP932 bytes.
class clsMakeMail {
 public:
  void X_Mailer(const QString& value) { xMailer_ = value; }
  // The whole message, ending with the end-of-data line. Every read makes new
  // boundaries and a new date.
  QByteArray MailData();
  QByteArray JisConvEx(const QString& text) const;
  void AddAttachFile(const QString& name, const QByteArray& base64Content);
  void HtmlText(const QString& value);
  void PlainText(const QString& value);
  void MailBcc(const QString& list);
  void MailCc(const QString& list);
  void MailFrom(const QString& list);
  void MailTo(const QString& list);
  void ClearMailTo();
  void Subject(const QString& value) { subject_ = OneLine(value); }
  // text with every control character (line breaks too) made a space: a
  // header value is one line.
  static QString OneLine(const QString& text);
  QString SmtpFrom() const;
  QString SmtpRcpt(std::int16_t index) const;
  std::int32_t SmtpRcptNum() const;

  // Also used on their own.
  static QString DotProtect(const QString& text);
  // The header text of an address list; its addresses are appended to target.
  static QByteArray ParseAddressList(const QString& list, QStringList& target);
  static QByteArray EncodeWord(const QByteArray& jis);
  static QByteArray MakeDateValue();
  static QByteArray MakeBoundary();

  struct Attachment {
    QByteArray Name;     // ISO-2022-JP
    QByteArray Content;  // base64 lines
    QString Text;        // the name as given
  };
  // The name parameters of an attachment's two part headers: a plain ASCII
  // name quoted as it is (name="a.txt" ), any other name (Japanese, or holding
  // a quote, a backslash or a control character) in the RFC 2231 form, UTF-8
  // percent-encoded, which today's readers take whole. Raw ISO-2022-JP between
  // quotes broke on every character with a quote or backslash byte; an encoded
  // word beside the RFC 2231 form made ripmime write a second, garbled file.
  static QByteArray NameParameters(const QString& name, const QByteArray& attribute);
  const QList<Attachment>& AttachmentList() const { return attachments_; }

 private:
  QByteArray plainPart() const;
  QByteArray alternativeBody(bool withPreamble) const;
  QByteArray mixedBody() const;

  QString subject_;
  QByteArray toHeader_;
  QByteArray fromHeader_;
  QByteArray ccHeader_;
  QByteArray plain_;
  QByteArray html_;
  QStringList recipients_;
  QStringList senders_;
  QList<Attachment> attachments_;
  QString xMailer_;
};

// The HTML alternative of a vertical text: a PRE block in a monospaced font.
QString BuildHtmlBody(const QString& text);
// The font faces its style gives the PRE block, in order of preference.
QString HtmlFontFaces();
