#include "mail/clsMakeMail.h"

#include "mail/Base64.h"
#include "mail/ServiceJisSjis.h"
#include "support/Cp932.h"
#include "support/NumericText.h"
#include "support/TextForm.h"
#include "support/VersionText.h"

#include <QDateTime>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
// Past 998 octets servers cut a line.
constexpr qsizetype kMaxLine = 998;

QString trimSpaces(QStringView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b] == QLatin1Char(' ')) ++b;
  while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
  return s.mid(b, e - b).toString();
}

QByteArray trimSpaces(const QByteArray& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.mid(b, e - b);
}

void appendHeaderLine(QByteArray& text, const QByteArray& name, const QByteArray& value, bool skipEmpty) {
  if (value.isEmpty() && skipEmpty) return;
  if (!text.isEmpty()) text += kCrLf;
  text += name;
  text += value;
}

void ensureBlankLine(QByteArray& text) {
  if (!text.endsWith(kCrLf)) text += kCrLf;
  text += kCrLf;
}

QByteArray wrapLines(const QByteArray& text) {
  QByteArray out;
  out.reserve(text.size() + text.size() / 36 + 2);
  for (qsizetype at = 0; at < text.size(); at += 72) {
    if (at > 0) out += kCrLf;
    out.append(text.constData() + at, std::min<qsizetype>(72, text.size() - at));
  }
  return out;
}

QByteArray quoteValue(const QByteArray& value) { return '"' + value + "\" "; }

QList<QByteArray> subjectWords(const QString& subject);

// At most 75 characters an encoded word: a longer one is split into several,
// folded between them, each a whole ISO-2022-JP text.
constexpr qsizetype kMaxWord = 75;

// An address in the header: as typed when it is ASCII (as every address a
// server takes is); otherwise encoded words, so the header stays 7-bit (the
// send itself refuses such an address) and no line grows past its limit.
QByteArray addressText(const QString& address) {
  for (QChar c : address) {
    if (c.unicode() < 0x80) continue;
    const QByteArray word = clsMakeMail::EncodeWord(ServiceJisSjis::ToJis(address));
    return word.size() <= kMaxWord ? word : subjectWords(address).join("\r\n ");
  }
  return address.toLatin1();
}

QByteArray displayName(QStringView name) {
  const QString trimmed = trimSpaces(name);
  const QByteArray jis = trimSpaces(ServiceJisSjis::ToJis(trimmed));
  // An empty encoded word is malformed: an empty name gives none.
  if (jis.isEmpty()) return QByteArray();
  const QByteArray word = clsMakeMail::EncodeWord(jis);
  if (word.size() <= kMaxWord) return word;
  return subjectWords(trimmed).join("\r\n ");
}

// Subject words of at most 75 characters, each a complete ISO-2022-JP text.
QList<QByteArray> subjectWords(const QString& subject) {
  constexpr qsizetype kMaxJisBytes = 42;  // 56 base64 characters + 18 of the word
  QList<QByteArray> words;
  qsizetype start = 0;
  while (start < subject.size()) {
    qsizetype end = start + 1;
    if (subject[start].isHighSurrogate() && end < subject.size()) ++end;
    while (end < subject.size()) {
      qsizetype next = end + 1;
      if (subject[end].isHighSurrogate() && next < subject.size()) ++next;
      if (ServiceJisSjis::ToJis(QStringView(subject).mid(start, next - start)).size() > kMaxJisBytes) break;
      end = next;
    }
    words << clsMakeMail::EncodeWord(ServiceJisSjis::ToJis(QStringView(subject).mid(start, end - start)));
    start = end;
  }
  return words;
}

// A list header longer than a line may be folded between its entries.
QByteArray foldList(const QByteArray& name, const QByteArray& value) {
  if (name.size() + value.size() <= kMaxLine) return value;
  const QList<QByteArray> entries = value.split(',');
  QByteArray out;
  qsizetype lineLength = name.size();
  for (qsizetype i = 0; i < entries.size(); ++i) {
    QByteArray piece = entries[i];
    if (i + 1 < entries.size()) piece += ',';
    if (i > 0 && lineLength + piece.size() > 76) {
      // The entries are joined by " , ": the fold replaces the space before an entry.
      if (out.endsWith(' ')) out.chop(1);
      if (piece.startsWith(' ')) piece.remove(0, 1);
      out += "\r\n ";
      lineLength = 1;
    }
    out += piece;
    lineLength += piece.size();
  }
  return out;
}

// The process's pseudo-random generator: a 24-bit linear congruential generator,
// never reseeded, so that every run makes the same boundaries.
float nextRandom() {
  static std::uint32_t state = 0x50000;
  state = (state * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
  return static_cast<float>(state) / 16777216.0f;
}

}  // namespace

QByteArray clsMakeMail::EncodeWord(const QByteArray& jis) { return "=?ISO-2022-JP?B?" + Base64Bits(jis) + "?="; }

// One bracket per run of two-byte characters, not per character: a bracket
// closed and opened again with nothing between is an error to the decoders of
// today's browsers and mail readers, which show U+FFFD between the characters.
// Line breaks still close every run, so the dot protection works the same.
QByteArray clsMakeMail::JisConvEx(const QString& text) const { return ServiceJisSjis::ToJis(text); }

QString clsMakeMail::DotProtect(const QString& text) {
  QString t = text;
  if (t.endsWith(QLatin1Char('.'))) t += QLatin1Char(' ');
  QStringList lines = t.split(QStringLiteral("\r\n"));
  for (QString& line : lines)
    if (line == QLatin1String(".")) line = QStringLiteral(". ");
  return lines.join(QStringLiteral("\r\n"));
}

QString clsMakeMail::OneLine(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (TextForm::IsControl(c)) c = u' ';
  return out;
}

QByteArray clsMakeMail::ParseAddressList(const QString& list, QStringList& target) {
  QList<QByteArray> entries;
  // Whoever calls, no control character reaches a header of the message.
  for (const QString& raw : OneLine(list).split(QLatin1Char(','))) {
    const QString piece = trimSpaces(raw);
    // An empty field, or an empty piece between commas, names nobody: taken
    // as an address it would become "RCPT TO:<>", which servers refuse.
    if (piece.isEmpty()) continue;
    const qsizetype lt = piece.indexOf(QLatin1Char('<'));
    const qsizetype lp = piece.indexOf(QLatin1Char('('));
    QString address;
    QByteArray entry;
    if (lt >= 0) {
      // Without a ">" after the "<" the rest of the piece is the address.
      qsizetype gt = piece.indexOf(QLatin1Char('>'), lt + 1);
      if (gt < 0) gt = piece.size();
      const QString name = lt == 0 ? piece.mid(gt + 1) : piece.left(lt);
      address = trimSpaces(QStringView(piece).mid(lt + 1, gt - lt - 1));
      const QByteArray word = displayName(name);
      entry = (word.isEmpty() ? QByteArray() : word + ' ') + '<' + addressText(address) + "> ";
    } else if (lp < 0) {
      address = piece;
      entry = addressText(piece);
    } else {
      qsizetype rp = piece.indexOf(QLatin1Char(')'), lp + 1);
      if (rp < 0) rp = piece.size();
      address = trimSpaces(lp == 0 ? QStringView(piece).mid(rp + 1) : QStringView(piece).left(lp));
      const QByteArray word = displayName(QStringView(piece).mid(lp + 1, rp - lp - 1));
      entry = addressText(address) + (word.isEmpty() ? QByteArray() : " (" + word + ')');
    }
    // "<>" and its kind name nobody either.
    if (address.isEmpty()) continue;
    entries << entry;
    target << address;
  }
  return entries.join(" , ");
}

void clsMakeMail::AddAttachFile(const QString& name, const QByteArray& base64Content) {
  attachments_.append({ServiceJisSjis::ToJis(OneLine(name)), base64Content, OneLine(name)});
}

namespace {

// A name that may stand between double quotes as it is: printable ASCII
// without the quote and the backslash, which a reader would take as the end
// of the value or an escape.
bool plainAsciiName(const QString& name) {
  if (name.isEmpty()) return false;
  for (QChar c : name)
    if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == u'"' || c == u'\\') return false;
  return true;
}

// RFC 2231: UTF-8, percent-encoded but for the characters a parameter may
// hold as they are; continued over several folded lines when long.
QByteArray extendedParameter(const QByteArray& attribute, const QString& value) {
  static const QByteArray kKeep = "!#$&+-.^_`|~";
  QByteArray encoded;
  for (char b : value.toUtf8()) {
    const auto u = static_cast<unsigned char>(b);
    if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || kKeep.contains(b))
      encoded += b;
    else
      encoded += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
  }
  // A file name is at most 255 bytes: encoded, it fits one header line, so
  // continuations (which not every reader follows) are for longer names only.
  constexpr qsizetype kSegment = 900;
  if (encoded.size() <= kSegment) return attribute + "*=UTF-8''" + encoded;
  QByteArray out;
  int n = 0;
  for (qsizetype at = 0; at < encoded.size(); ++n) {
    qsizetype end = std::min(encoded.size(), at + kSegment);
    // A %XX triple stays whole.
    if (end < encoded.size() && encoded[end - 1] == '%')
      end -= 1;
    else if (end < encoded.size() && end >= 2 && encoded[end - 2] == '%')
      end -= 2;
    if (n > 0) out += ";\r\n ";
    out += attribute + '*' + QByteArray::number(n) + "*=" + (n == 0 ? "UTF-8''" : "") + encoded.mid(at, end - at);
    at = end;
  }
  return out;
}

}  // namespace

QByteArray clsMakeMail::NameParameters(const QString& name, const QByteArray& attribute) {
  if (plainAsciiName(name)) return attribute + '=' + quoteValue(name.toLatin1());
  return extendedParameter(attribute, name);
}

void clsMakeMail::HtmlText(const QString& value) { html_ = JisConvEx(DotProtect(value)); }

void clsMakeMail::PlainText(const QString& value) { plain_ = JisConvEx(DotProtect(value)); }

void clsMakeMail::MailBcc(const QString& list) { ParseAddressList(list, recipients_); }

void clsMakeMail::MailCc(const QString& list) { ccHeader_ = ParseAddressList(list, recipients_); }

void clsMakeMail::MailFrom(const QString& list) { fromHeader_ = ParseAddressList(list, senders_); }

void clsMakeMail::MailTo(const QString& list) { toHeader_ = ParseAddressList(list, recipients_); }

void clsMakeMail::ClearMailTo() {
  recipients_.clear();
  toHeader_.clear();
}

QString clsMakeMail::SmtpFrom() const { return senders_.isEmpty() ? QString() : senders_.first(); }

QString clsMakeMail::SmtpRcpt(std::int16_t index) const {
  return index >= 0 && index < recipients_.size() ? recipients_[index] : QString();
}

std::int32_t clsMakeMail::SmtpRcptNum() const {
  return recipients_.isEmpty() ? 0 : static_cast<std::int32_t>(recipients_.size() - 1);
}

QByteArray clsMakeMail::MakeDateValue() {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  // The zone of the machine, so that the time is right outside Japan too.
  const int offset = now.offsetFromUtc() / 60;
  const int a = offset < 0 ? -offset : offset;
  return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
      .arg(QLatin1String(kDays[d.dayOfWeek() - 1]))
      .arg(d.day(), 2, 10, QLatin1Char('0'))
      .arg(QLatin1String(kMonths[d.month() - 1]))
      .arg(d.year(), 4, 10, QLatin1Char('0'))
      .arg(t.hour(), 2, 10, QLatin1Char('0'))
      .arg(t.minute(), 2, 10, QLatin1Char('0'))
      .arg(t.second(), 2, 10, QLatin1Char('0'))
      .arg(QLatin1Char(offset < 0 ? '-' : '+'))
      .arg(a / 60, 2, 10, QLatin1Char('0'))
      .arg(a % 60, 2, 10, QLatin1Char('0'))
      .toLatin1();
}

QByteArray clsMakeMail::MakeBoundary() {
  QString b = QStringLiteral("----=_NextPart_");
  for (int i = 0; i < 3; ++i) b += NumericText::SingleText(nextRandom());
  b.replace(QLatin1Char('.'), QLatin1Char('_'));
  return b.toLatin1();
}

QByteArray clsMakeMail::plainPart() const {
  // A line longer than mail may carry (998 octets: a vertical line of some
  // 500 characters, or one that switches often between ASCII and kanji) would
  // be cut by the servers on the way, and its columns with it: such a text
  // goes in base64 instead, which keeps every line whole.
  bool tooLong = false;
  for (qsizetype start = 0; start < plain_.size() && !tooLong;) {
    qsizetype end = plain_.indexOf('\n', start);
    if (end < 0) end = plain_.size();
    const qsizetype length = end - start - (end > start && plain_[end - 1] == '\r' ? 1 : 0);
    tooLong = length > 998;
    start = end + 1;
  }
  QByteArray t = "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n";
  t += tooLong ? "Content-Transfer-Encoding: base64\r\n" : "Content-Transfer-Encoding: 7bit\r\n";
  if (!plain_.isEmpty()) {
    t += kCrLf;
    t += tooLong ? wrapLines(Base64Bytes(plain_)) + kCrLf : plain_;
  }
  return t;
}

QByteArray clsMakeMail::alternativeBody(bool withPreamble) const {
  const QByteArray b = MakeBoundary();
  const QByteArray htmlBase64 = wrapLines(Base64Bytes(html_));
  QByteArray t;
  t.reserve(plain_.size() + htmlBase64.size() + 512);
  t += "Content-Type: multipart/alternative;\r\n\tboundary=\"" + b + "\"\r\n\r\n";
  if (withPreamble)
    t += "This is a multi-part message in MIME format.\r\n\r\n";
  else
    t += kCrLf;
  t += "--" + b + kCrLf;
  t += plainPart();
  ensureBlankLine(t);
  t += kCrLf;
  t += "--" + b + kCrLf;
  t += "Content-Type: text/html;\r\n\tcharset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  t += htmlBase64;
  ensureBlankLine(t);
  t += kCrLf;
  t += "--" + b + "--";
  return t;
}

QByteArray clsMakeMail::mixedBody() const {
  const QByteArray a = MakeBoundary();
  qsizetype size = 1024 + plain_.size() + html_.size() * 2;
  for (const Attachment& at : attachments_) size += at.Content.size() + at.Name.size() * 2 + 256;
  QByteArray t;
  t.reserve(size);
  t += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + a + "\"\r\n\r\n";
  t += "This is a multi-part message in MIME format.\r\n\r\n";
  t += "--" + a + kCrLf;
  t += alternativeBody(false);
  for (const Attachment& at : attachments_) {
    t += "\r\n\r\n\r\n--" + a + kCrLf;
    t += "Content-Type: application/octet-stream; " + NameParameters(at.Text, "name") + kCrLf;
    t += "Content-Transfer-Encoding: base64\r\n";
    t += "Content-Disposition: attachment;" + NameParameters(at.Text, "filename") + kCrLf;
    t += kCrLf;
    t += at.Content;
  }
  t += "\r\n\r\n--" + a + "--";
  return t;
}

QByteArray clsMakeMail::MailData() {
  QByteArray body;
  if (!attachments_.isEmpty())
    body = mixedBody();
  else if (!html_.isEmpty())
    body = alternativeBody(true);
  else
    body = plainPart();

  QByteArray t;
  t.reserve(body.size() + 1024);
  appendHeaderLine(t, "Date: ", MakeDateValue(), true);
  appendHeaderLine(t, "From: ", foldList("From: ", fromHeader_), true);
  appendHeaderLine(t, "To: ", foldList("To: ", toHeader_), true);
  appendHeaderLine(t, "Cc: ", foldList("Cc: ", ccHeader_), true);
  if (!subject_.isEmpty()) {
    QByteArray word = EncodeWord(ServiceJisSjis::ToJis(subject_));
    if (QByteArrayView("Subject: ").size() + word.size() > kMaxLine) word = subjectWords(subject_).join("\r\n ");
    appendHeaderLine(t, "Subject: ", word, true);
  }
  appendHeaderLine(t, "MIME-Version: 1.0", {}, false);
  appendHeaderLine(t, "X-Mailer: ", Cp932::Encode(xMailer_), false);
  t += kCrLf;
  t += body;
  t += "\r\n.\r\n";
  return t;
}

// A PRE block is drawn in the reader's own fixed-width font whatever FONT
// says around it (the browser's style for PRE names that font itself). Where
// that font is not a Japanese one it draws some characters (box drawing, for
// one) at half width and the vertical columns no longer line up, so the style
// names ＭＳ ゴシック for PRE, then faces of the same metrics found elsewhere.
QString HtmlFontFaces() {
  return QString::fromUtf8(
      "'ＭＳ ゴシック', 'IPAゴシック', 'IPAGothic', 'Noto Sans Mono CJK JP', 'Osaka-Mono', monospace");
}

QString BuildHtmlBody(const QString& text) {
  QString head = QStringLiteral(
                     "<!DOCTYPE HTML PUBLIC '-//W3C//DTD HTML 4.0 Transitional//EN'>\r\n"
                     "<HTML><HEAD>\r\n"
                     "<META content='text/html; charset=iso-2022-jp' http-equiv=Content-Type>\r\n"
                     "<META content='Tallpost ") +
                 VersionText::VersionString() +
                 QStringLiteral(
                     "' name=GENERATOR>\r\n"
                     "<STYLE>PRE { font-family: ") +
                 HtmlFontFaces() +
                 QStringLiteral(
                     "; text-spacing-trim: space-all; font-feature-settings: 'halt' 0, 'chws' 0, 'palt' 0; "
                     "font-kerning: none; }</STYLE>\r\n"
                     "</HEAD>\r\n"
                     "<BODY><FONT Face='") +
                 QString::fromUtf8("ＭＳ ゴシック") + QStringLiteral("'><PRE>\r\n");
  head.replace(QLatin1Char('\''), QLatin1Char('"'));
  return head + text + QStringLiteral("\r\n</PRE></FONT></BODY></HTML>\r\n");
}
