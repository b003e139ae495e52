// The message builder on any fields: the message is built without a fault,
// is 7-bit, and no field adds a line of its own to the header.
//
// Input: the fields To, Cc, Bcc, From, Subject, plain text, attachment name,
// separated by NUL bytes, as UTF-8.
#include "fuzz/FuzzSupport.h"
#include "mail/clsMakeMail.h"

#include <cstdio>

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16 * 1024) return 0;
  QList<QByteArray> parts = fuzz::Bytes(data, size).split('\0');
  while (parts.size() < 7) parts.append(QByteArray());
  auto field = [&parts](int i) { return QString::fromUtf8(parts[i]); };
  clsMakeMail mail;
  mail.MailTo(field(0));
  mail.MailCc(field(1));
  mail.MailBcc(field(2));
  mail.MailFrom(field(3));
  mail.Subject(field(4));
  mail.PlainText(field(5));
  mail.HtmlText(BuildHtmlBody(field(5)));
  if (!parts[6].isEmpty()) mail.AddAttachFile(field(6), QByteArray("QUJD"));
  const QByteArray message = mail.MailData();
  // The header: every line a header of the builder's own or the fold of one.
  static const QList<QByteArray> kHeaders = {
      "Date: ", "From: ", "To: ", "Cc: ", "Subject: ", "MIME-Version: ", "X-Mailer: ", "Content-Type: "};
  const QByteArray head = message.left(message.indexOf("\r\n\r\n"));
  for (const QByteArray& line : head.split('\n')) {
    bool known = line.startsWith(' ') || line.startsWith('\t');
    for (const QByteArray& h : kHeaders) known = known || line.startsWith(h);
    if (!known) std::fprintf(stderr, "a line of its own in the header: %s\n", line.constData());
    fuzz::Require(known);
  }
  for (const QByteArray& line : message.split('\n')) fuzz::Require(line.size() <= 999);
  for (qsizetype i = 0; i < message.size(); ++i) {
    if (static_cast<unsigned char>(message[i]) < 0x80) continue;
    const qsizetype from = message.lastIndexOf('\n', i) + 1;
    std::fprintf(stderr, "8-bit byte in line: %s\n",
                 message.mid(from, message.indexOf('\n', i) - from).toPercentEncoding(" <>=?@.,:;\"").constData());
    fuzz::Require(false);
  }
  return 0;
}
