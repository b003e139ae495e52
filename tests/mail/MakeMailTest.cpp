#include "mail/ServiceJisSjis.h"
#include "mail/SmtpDialogue.h"
#include "mail/clsMakeMail.h"
#include "support/Cp932.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }
QByteArray word(const char* utf8) { return clsMakeMail::EncodeWord(ServiceJisSjis::ToJis(s(utf8))); }

TEST(AddressList, TheThreeFormsAndTheirRecipients) {
  QStringList to;
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("a@example.jp"), to), QByteArray("a@example.jp"));
  EXPECT_EQ(to, QStringList{s("a@example.jp")});

  to.clear();
  EXPECT_EQ(clsMakeMail::ParseAddressList(s(" 山田 太郎 <taro@example.jp> ,b@example.jp"), to),
            word("山田 太郎") + " <taro@example.jp>  , b@example.jp");
  EXPECT_EQ(to, (QStringList{s("taro@example.jp"), s("b@example.jp")}));

  to.clear();
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("<c@example.jp> 花子"), to), word("花子") + " <c@example.jp> ");
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("d@example.jp (Dee)"), to), "d@example.jp (" + word("Dee") + ")");
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("(Eve) e@example.jp"), to), "e@example.jp (" + word("Eve") + ")");
  EXPECT_EQ(to, (QStringList{s("c@example.jp"), s("d@example.jp"), s("e@example.jp")}));
}

TEST(AddressList, HolesGetSoundResults) {
  QStringList to;
  // No ">" or ")": the rest of the piece is the address.
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("Name <f@example.jp"), to), word("Name") + " <f@example.jp> ");
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("g@example.jp (Gee"), to), "g@example.jp (" + word("Gee") + ")");
  // No empty encoded word for an empty name.
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("<h@example.jp>"), to), QByteArray("<h@example.jp> "));
  EXPECT_EQ(to, (QStringList{s("f@example.jp"), s("g@example.jp"), s("h@example.jp")}));
  // A bare piece that is not ASCII cannot be an address: the header keeps it
  // 7-bit as an encoded word (and the send refuses to name it to a server).
  EXPECT_EQ(clsMakeMail::ParseAddressList(s("宛先"), to), word("宛先"));
  EXPECT_FALSE(SmtpDialogue::SafeArgument(to.last()));
  // A long one folds between words, as a long name does: no line of the
  // header grows past its limit.
  const QString longPiece = QString(400, QChar(0x5B9B));
  const QByteArray folded = clsMakeMail::ParseAddressList(longPiece, to);
  EXPECT_GT(folded.count("\r\n "), 10);
  for (const QByteArray& line : folded.split('\n')) EXPECT_LE(line.size(), 77);

  // An empty field and empty pieces name nobody (no "RCPT TO:<>").
  to.clear();
  EXPECT_EQ(clsMakeMail::ParseAddressList(QString(), to), QByteArray());
  EXPECT_EQ(clsMakeMail::ParseAddressList(s(" a@example.jp, ,b@example.jp,"), to),
            QByteArray("a@example.jp , b@example.jp"));
  EXPECT_EQ(to, (QStringList{s("a@example.jp"), s("b@example.jp")}));
}

TEST(Envelope, RecipientsInOrderAndTheirCount) {
  clsMakeMail m;
  EXPECT_EQ(m.SmtpRcptNum(), 0);
  EXPECT_EQ(m.SmtpRcpt(0), QString());
  EXPECT_EQ(m.SmtpFrom(), QString());
  m.MailTo(s("a@x.jp"));
  EXPECT_EQ(m.SmtpRcptNum(), 0);
  m.MailCc(s("b@x.jp, c@x.jp"));
  m.MailBcc(s("d@x.jp"));
  m.MailTo(s("e@x.jp"));  // appends
  m.MailFrom(s("自分 <me@x.jp>"));
  EXPECT_EQ(m.SmtpRcptNum(), 4);
  EXPECT_EQ(m.SmtpRcpt(0), s("a@x.jp"));
  EXPECT_EQ(m.SmtpRcpt(3), s("d@x.jp"));
  EXPECT_EQ(m.SmtpRcpt(4), s("e@x.jp"));
  EXPECT_EQ(m.SmtpRcpt(5), QString());
  EXPECT_EQ(m.SmtpRcpt(-1), QString());
  EXPECT_EQ(m.SmtpFrom(), s("me@x.jp"));
  const QByteArray data = m.MailData();
  EXPECT_FALSE(data.contains("Bcc"));
  EXPECT_FALSE(data.contains("d@x.jp"));
  EXPECT_TRUE(data.contains("\r\nTo: e@x.jp\r\n"));
  EXPECT_TRUE(data.contains("\r\nCc: b@x.jp , c@x.jp\r\n"));
  m.ClearMailTo();
  EXPECT_EQ(m.SmtpRcptNum(), 0);
  EXPECT_FALSE(m.MailData().contains("\r\nTo: "));
  EXPECT_TRUE(m.MailData().contains("\r\nCc: "));
}

TEST(DotProtect, NoBodyLineIsTheEndOfData) {
  EXPECT_EQ(clsMakeMail::DotProtect(s("x\r\n.\r\ny")), s("x\r\n. \r\ny"));
  EXPECT_EQ(clsMakeMail::DotProtect(s("end.")), s("end. "));
  EXPECT_EQ(clsMakeMail::DotProtect(s(".\r\nx")), s(". \r\nx"));
  EXPECT_EQ(clsMakeMail::DotProtect(s("a\r\n.\r\n.\r\nb")), s("a\r\n. \r\n. \r\nb"));
  EXPECT_EQ(clsMakeMail::DotProtect(s("..\r\n.a")), s("..\r\n.a"));
}

TEST(MailData, TextOnlyMessageLineForLine) {
  clsMakeMail m;
  m.MailTo(s("a@x.jp"));
  m.PlainText(s("本文\r\n.\r\n"));
  m.X_Mailer(s("Tallpost 2.1.3"));
  const QByteArray data = m.MailData();
  const QList<QByteArray> lines = data.split('\n');
  ASSERT_GE(lines.size(), 10);
  EXPECT_TRUE(QRegularExpression(s("^Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
                                   "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
                                   "\\d\\d:\\d\\d:\\d\\d [+-]\\d{4}\r$"))
                  .match(QString::fromLatin1(lines[0]))
                  .hasMatch())
      << lines[0].constData();
  const QByteArray rest = data.mid(data.indexOf("\r\n") + 2);
  EXPECT_EQ(rest,
            "To: a@x.jp\r\nMIME-Version: 1.0\r\nX-Mailer: Tallpost 2.1.3\r\n"
            "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: 7bit\r\n"
            "\r\n" +
                m.JisConvEx(s("本文\r\n. \r\n")) + "\r\n.\r\n");
}

TEST(MailData, AlternativeAndMixedStructure) {
  clsMakeMail m;
  m.MailTo(s("a@x.jp"));
  m.Subject(s("件名"));
  m.PlainText(s("縦\r\n"));
  m.X_Mailer({});
  m.MailFrom(s("me@x.jp"));
  m.HtmlText(s("<b>縦</b>"));
  QByteArray data = m.MailData();
  EXPECT_TRUE(data.contains("\r\nFrom: me@x.jp\r\nTo: a@x.jp\r\nSubject: " + word("件名") +
                            "\r\nMIME-Version: 1.0\r\nX-Mailer: \r\nContent-Type: multipart/alternative;\r\n"));
  QRegularExpression boundary(s("boundary=\"(----=_NextPart_[0-9_E+-]+)\""));
  auto match = boundary.match(QString::fromLatin1(data));
  ASSERT_TRUE(match.hasMatch());
  const QByteArray b = match.captured(1).toLatin1();
  EXPECT_TRUE(data.contains("\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n--" + b +
                            "\r\nContent-Type: text/plain;"));
  EXPECT_TRUE(data.contains("7bit\r\n\r\n" + m.JisConvEx(s("縦\r\n")) + "\r\n\r\n--" + b +
                            "\r\nContent-Type: text/html;\r\n\tcharset=\"iso-2022-jp\"\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\n" +
                            m.JisConvEx(s("<b>縦</b>")).toBase64() + "\r\n\r\n\r\n--" + b + "--\r\n.\r\n"));

  m.AddAttachFile(s("写真.jpg"), "AAAA\r\nBBBB");
  data = m.MailData();
  match = QRegularExpression(s("multipart/mixed;\r\n\tboundary=\"(----=_NextPart_[0-9_E+-]+)\"\r\n\r\n"
                               "This is a multi-part message in MIME format.\r\n\r\n--\\1\r\n"
                               "Content-Type: multipart/alternative;\r\n\tboundary=\"([^\"]+)\"\r\n\r\n\r\n--\\2\r\n"))
              .match(QString::fromLatin1(data));
  ASSERT_TRUE(match.hasMatch()) << data.constData();
  const QByteArray a = match.captured(1).toLatin1();
  EXPECT_NE(a, match.captured(2).toLatin1());
  // A Japanese name: RFC 2231 in UTF-8 for both headers.
  const QByteArray utf8 = "UTF-8''%E5%86%99%E7%9C%9F.jpg";
  EXPECT_TRUE(data.endsWith("--\r\n\r\n\r\n--" + a + "\r\nContent-Type: application/octet-stream; name*=" + utf8 +
                            "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;filename*=" +
                            utf8 + "\r\n\r\nAAAA\r\nBBBB\r\n\r\n--" + a + "--\r\n.\r\n"))
      << data.right(400).constData();
  // A plain ASCII name stays as it always was.
  clsMakeMail plain;
  plain.AddAttachFile(s("report-2026.pdf"), "AAAA");
  const QByteArray plainData = plain.MailData();
  EXPECT_TRUE(plainData.contains("Content-Type: application/octet-stream; name=\"report-2026.pdf\" \r\n"));
  EXPECT_TRUE(plainData.contains("Content-Disposition: attachment;filename=\"report-2026.pdf\" \r\n"));
}

TEST(MailData, EveryStructuredHeaderFoldsBetweenWordsWithinItsLine) {
  // A 480-character display name in From and To.
  clsMakeMail m;
  const QString name = s("長い名前の人").repeated(80);
  m.MailFrom(name + s(" <taro@example.jp>"));
  m.MailTo(name + s(" <hanako@example.jp>, jiro@example.jp"));
  const QByteArray data = m.MailData();
  for (const QByteArray& line : data.split('\n')) {
    EXPECT_LE(line.size(), 999);
    if (line.startsWith("From: ") || line.startsWith(' ')) {
      EXPECT_LE(line.trimmed().size(), 90) << "folded between encoded words, not only between addresses";
    }
  }
  EXPECT_EQ(m.SmtpFrom(), s("taro@example.jp"));
  EXPECT_EQ(m.SmtpRcpt(0), s("hanako@example.jp"));
}

TEST(MailData, NoAttachmentNameLeavesItsParameter) {
  // Quotes, backslashes and line breaks are legal in file names here.
  clsMakeMail m;
  m.AddAttachFile(s("a\"b\\c\r\nContent-Transfer-Encoding: 8bit.txt"), "AAAA");
  m.AddAttachFile(s("とても長いファイルの名前").repeated(12) + s(".txt"), "BBBB");
  const QByteArray data = m.MailData();
  for (const QByteArray& line : data.split('\n')) {
    EXPECT_LE(line.size(), 999);
    EXPECT_FALSE(line.startsWith("Content-Transfer-Encoding: 8bit")) << line.constData();
  }
  EXPECT_EQ(data.count("Content-Transfer-Encoding: base64"), 3) << "the HTML part and the two attachments";
  for (char c : data) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(MailData, BoundariesAreNewEachTimeAndDatesCarryTheZone) {
  const QByteArray b1 = clsMakeMail::MakeBoundary();
  const QByteArray b2 = clsMakeMail::MakeBoundary();
  EXPECT_NE(b1, b2);
  EXPECT_TRUE(b1.startsWith("----=_NextPart_"));
  EXPECT_FALSE(b1.contains('.'));
  const int offset = QDateTime::currentDateTime().offsetFromUtc() / 60;
  const QByteArray zone = QStringLiteral("%1%2%3")
                              .arg(QLatin1Char(offset < 0 ? '-' : '+'))
                              .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                              .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'))
                              .toLatin1();
  EXPECT_TRUE(clsMakeMail::MakeDateValue().endsWith(" " + zone));
}

TEST(MailData, EmptySubjectAndCcLeaveTheirLinesOut) {
  clsMakeMail m;
  m.MailTo(s("a@x.jp"));
  m.MailCc({});
  m.Subject({});
  const QByteArray data = m.MailData();
  EXPECT_FALSE(data.contains("Subject:"));
  EXPECT_FALSE(data.contains("Cc:"));
  clsMakeMail ascii;
  ascii.Subject(s("Hello"));
  EXPECT_TRUE(ascii.MailData().contains("\r\nSubject: =?ISO-2022-JP?B?SGVsbG8=?=\r\n"));
}

TEST(MailData, ATextLineLongerThanMailCarriesGoesInBase64Whole) {
  const QString line = s("縦").repeated(600);  // 1,200 octets in ISO-2022-JP
  const QString text = s("一行目") + s("\r\n") + line + s("\r\n");
  clsMakeMail m;
  m.MailTo(s("a@example.jp"));
  m.PlainText(text);
  const QByteArray message = m.MailData();
  for (const QByteArray& l : message.split('\n')) EXPECT_LE(l.size(), 999);
  const qsizetype at = message.indexOf("Content-Transfer-Encoding: base64\r\n\r\n");
  ASSERT_GE(at, 0) << "the plain part in base64";
  const qsizetype start = at + 37;
  const QByteArray encoded = message.mid(start, message.indexOf("\r\n\r\n", start) - start);
  EXPECT_EQ(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")), ServiceJisSjis::ToJis(text));

  clsMakeMail shortLines;
  shortLines.PlainText(s("縦").repeated(400));
  EXPECT_TRUE(shortLines.MailData().contains("Content-Transfer-Encoding: 7bit")) << "800 octets still fit";
  // 998 octets is the most a line may hold, the last line (no CR LF) too.
  for (const int n : {998, 999}) {
    clsMakeMail edge;
    edge.PlainText(QString(n, u'a'));
    EXPECT_EQ(edge.MailData().contains("Content-Transfer-Encoding: 7bit"), n == 998) << n;
  }
}

TEST(MailData, OverlongHeaderLinesAreFoldedAndShortOnesAreNot) {
  clsMakeMail m;
  const QString subject = s("とても長い件名です。").repeated(40);
  m.Subject(subject);
  QStringList many;
  for (int i = 0; i < 80; ++i) many << QStringLiteral("person%1@example.jp").arg(i);
  m.MailTo(many.join(QLatin1Char(',')));
  const QByteArray data = m.MailData();
  for (const QByteArray& line : data.split('\n')) EXPECT_LE(line.size(), 999);  // with the CR
  // The words decode back to the subject, each a whole ISO-2022-JP text.
  const qsizetype at = data.indexOf("Subject: ") + 9;
  const QByteArray folded = data.mid(at, data.indexOf("\r\nMIME-Version") - at);
  QString decoded;
  for (QByteArray w : folded.split('\n')) {
    w = w.trimmed();
    ASSERT_TRUE(w.startsWith("=?ISO-2022-JP?B?") && w.endsWith("?=")) << w.constData();
    EXPECT_LE(w.size(), 75);
    const QByteArray jis = QByteArray::fromBase64(w.mid(16, w.size() - 18));
    EXPECT_TRUE(jis.endsWith("\x1B(B") || !jis.contains('\x1B'));
    decoded += QString::fromLatin1(jis);
  }
  EXPECT_GT(folded.count('\n'), 5);
  // The folded address list keeps every address.
  for (const QString& a : many) EXPECT_TRUE(data.contains(a.toLatin1()));
  EXPECT_TRUE(data.contains("\r\n person"));

  clsMakeMail shortOne;
  shortOne.Subject(s("短い件名"));
  EXPECT_TRUE(shortOne.MailData().contains("Subject: " + word("短い件名") + "\r\n"));
}

TEST(HtmlBody, DocumentAroundTheVerticalText) {
  EXPECT_EQ(BuildHtmlBody(s("縦 <&>\r\n")),
            s("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
              "<HTML><HEAD>\r\n"
              "<META content=\"text/html; charset=iso-2022-jp\" http-equiv=Content-Type>\r\n"
              "<META content=\"Tallpost 2.1.3\" name=GENERATOR>\r\n"
              "<STYLE>PRE { font-family: \"ＭＳ ゴシック\", \"IPAゴシック\", \"IPAGothic\", \"Noto Sans Mono CJK JP\", "
              "\"Osaka-Mono\", monospace; text-spacing-trim: space-all; font-feature-settings: \"halt\" 0, \"chws\" 0, "
              "\"palt\" 0; font-kerning: none; }</STYLE>\r\n"
              "</HEAD>\r\n"
              "<BODY><FONT Face=\"ＭＳ ゴシック\"><PRE>\r\n"
              "縦 <&>\r\n"
              "\r\n</PRE></FONT></BODY></HTML>\r\n"));
}

}  // namespace
