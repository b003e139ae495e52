#include "store/MailStore.h"

#include "store/AppState.h"
#include "support/AtomicFile.h"
#include "support/Cp932.h"
#include "support/EventLoopTurn.h"
#include "support/NumericText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <limits>

namespace {

constexpr QByteArrayView kCrLf("\r\n");
// Mail data is private: new files are readable by their owner only.
constexpr unsigned kDataFileMode = 0600;

// The zero date of the stored forms, written for a mail that has no date.
QDateTime zeroDate() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }

QDateTime storedDate(const QDateTime& date) { return date.isValid() ? date : zeroDate(); }

// Header values and index fields are single lines whatever the caller passes.
QString withoutLineBreaks(const QString& text) {
  if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) return text;
  QString out = text;
  out.remove(QLatin1Char('\r'));
  out.remove(QLatin1Char('\n'));
  return out;
}

// Splits bytes into lines. Lines end with CR LF; a file with no CR LF at all
// (one whose line ends were converted) is split at LF. A last line without
// its end still counts; nothing after the last line end does not.
class LineReader {
 public:
  explicit LineReader(QByteArrayView bytes) : bytes_(bytes), crlf_(bytes.indexOf(kCrLf) >= 0) {}

  bool Next(QByteArrayView& line) {
    if (pos_ >= bytes_.size()) return false;
    const QByteArrayView rest = bytes_.sliced(pos_);
    const qsizetype end = crlf_ ? rest.indexOf(kCrLf) : rest.indexOf('\n');
    if (end < 0) {
      line = rest;
      pos_ = bytes_.size();
    } else {
      line = rest.first(end);
      pos_ += end + (crlf_ ? 2 : 1);
    }
    return true;
  }
  bool AtEnd() const { return pos_ >= bytes_.size(); }

 private:
  QByteArrayView bytes_;
  bool crlf_;
  qsizetype pos_ = 0;
};

bool parseDate(QStringView text, QDateTime& out) {
  const QString t = text.trimmed().toString();
  for (const QString& format : {QStringLiteral("yyyy/M/d H:m:s"), QStringLiteral("yyyy/M/d"),
                                QStringLiteral("yyyy-M-d H:m:s"), QStringLiteral("yyyy-M-d")}) {
    const QDateTime d = QDateTime::fromString(t, format);
    if (d.isValid()) {
      out = d;
      return true;
    }
  }
  return false;
}

template <typename Int>
bool matchInteger(QStringView line, QStringView prefix, Int& target, bool* converted) {
  if (!line.startsWith(prefix)) return false;
  const auto v = NumericText::ToInteger(line.sliced(prefix.size()).toString(), std::numeric_limits<Int>::min(),
                                        std::numeric_limits<Int>::max());
  if (v) target = static_cast<Int>(*v);
  if (converted != nullptr) *converted = v.has_value();
  return true;
}

// Removes the last two characters when there are that many.
void dropLineEnd(QString& text) {
  if (text.size() >= 2) text.chop(2);
}

// --- Index lines --------------------------------------------------------

class FieldReader {
 public:
  explicit FieldReader(QStringView line) : s_(line) {}

  bool Integer(std::int32_t& out) {
    skipSpaces();
    const qsizetype start = i_;
    if (i_ < s_.size() && (s_[i_] == QLatin1Char('-') || s_[i_] == QLatin1Char('+'))) ++i_;
    while (i_ < s_.size() && s_[i_].isDigit() && s_[i_].unicode() < 0x80) ++i_;
    bool ok = false;
    const qlonglong v = s_.sliced(start, i_ - start).toLongLong(&ok);
    if (!ok || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
      return false;
    out = static_cast<std::int32_t>(v);
    return true;
  }
  // A string between double quotes, a doubled quote standing for one.
  bool Quoted(QString& out) {
    skipSpaces();
    if (i_ >= s_.size() || s_[i_] != QLatin1Char('"')) return false;
    ++i_;
    out.clear();
    while (i_ < s_.size()) {
      const QChar c = s_[i_++];
      if (c != QLatin1Char('"')) {
        out.append(c);
        continue;
      }
      if (i_ < s_.size() && s_[i_] == QLatin1Char('"')) {
        out.append(c);
        ++i_;
        continue;
      }
      return true;
    }
    return false;  // no closing quote: the line was cut short
  }
  // The text between two number signs.
  bool Hashed(QStringView& out) {
    skipSpaces();
    if (i_ >= s_.size() || s_[i_] != QLatin1Char('#')) return false;
    const qsizetype close = s_.indexOf(QLatin1Char('#'), i_ + 1);
    if (close < 0) return false;
    out = s_.sliced(i_ + 1, close - i_ - 1);
    i_ = close + 1;
    return true;
  }
  bool Comma() {
    skipSpaces();
    if (i_ >= s_.size() || s_[i_] != QLatin1Char(',')) return false;
    ++i_;
    return true;
  }
  bool AtEnd() {
    skipSpaces();
    return i_ == s_.size();
  }

 private:
  void skipSpaces() {
    while (i_ < s_.size() && s_[i_] == QLatin1Char(' ')) ++i_;
  }
  QStringView s_;
  qsizetype i_ = 0;
};

}  // namespace

// --- Texts --------------------------------------------------------------

QString StripControlChars(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text)
    if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t')) out.append(c);
  return out;
}

QString MailFileBoundary() {
  QString b = QStringLiteral("0__=");
  for (int i = 0; i < 3; ++i)
    b += NumericText::SingleText(static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()));
  return b;
}

QString MailFileDateText(const QDateTime& date) {
  return storedDate(date).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString MailIndexDateText(const QDateTime& date) {
  // Written by hand: the whole index is written at every store and send, and
  // a format-driven toString per line is most of that for a large index.
  const QDateTime d = storedDate(date);
  const QDate day = d.date();
  const QTime time = d.time();
  const bool withTime = time.msecsSinceStartOfDay() >= 1000;
  QString out(withTime ? 19 : 10, Qt::Uninitialized);
  QChar* p = out.data();
  const auto digits = [&p](int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      p[i] = QChar(u'0' + value % 10);
      value /= 10;
    }
    p += count;
  };
  digits(day.year(), 4);
  *p++ = u'-';
  digits(day.month(), 2);
  *p++ = u'-';
  digits(day.day(), 2);
  if (withTime) {
    *p++ = u' ';
    digits(time.hour(), 2);
    *p++ = u':';
    digits(time.minute(), 2);
    *p++ = u':';
    digits(time.second(), 2);
  }
  return out;
}

bool MatchHeaderLine(QStringView line, QStringView prefix, QString& target) {
  if (!line.startsWith(prefix)) return false;
  target = line.sliced(prefix.size()).toString();
  return true;
}

bool MatchHeaderLine(QStringView line, QStringView prefix, std::int32_t& target, bool* converted) {
  return matchInteger(line, prefix, target, converted);
}

bool MatchHeaderLine(QStringView line, QStringView prefix, std::int16_t& target, bool* converted) {
  return matchInteger(line, prefix, target, converted);
}

bool MatchHeaderLine(QStringView line, QStringView prefix, QDateTime& target, bool* converted) {
  if (!line.startsWith(prefix)) return false;
  QDateTime d;
  const bool ok = parseDate(line.sliced(prefix.size()), d);
  if (ok) target = d;
  if (converted != nullptr) *converted = ok;
  return true;
}

// --- Mail file ----------------------------------------------------------

QByteArray EncodeMailFile(const MailRecord& r, const QString& boundary) {
  const QString crlf = QStringLiteral("\r\n");
  QString head;
  head += QStringLiteral("To: ") + withoutLineBreaks(r.To) + crlf;
  head += QStringLiteral("Cc: ") + withoutLineBreaks(r.Cc) + crlf;
  head += QStringLiteral("Bcc: ") + withoutLineBreaks(r.Bcc) + crlf;
  head += QStringLiteral("Date: ") + MailFileDateText(r.Date) + crlf;
  head += QStringLiteral("Subject: ") + withoutLineBreaks(r.Subject) + crlf;
  head += QStringLiteral("X-Tallpost-Seq: ") + QString::number(r.Seq) + crlf;
  head += QStringLiteral("X-Tallpost-PageLines: ") + QString::number(r.PageLines) + crlf;
  head += QStringLiteral("X-Tallpost-LineChars: ") + QString::number(r.LineChars) + crlf;
  head += QStringLiteral("X-Tallpost-LineSpace: ") + QString::number(r.LineSpace) + crlf;
  head += QStringLiteral("X-Tallpost-MailBox: ") + QString::number(r.MailBox) + crlf;
  head += QStringLiteral("X-Tallpost-Separator: ") + QString::number(r.Separator) + crlf;
  head += QStringLiteral("Boundary=\"") + boundary + QStringLiteral("\"") + crlf;
  head += crlf;

  QByteArray out = Cp932::Encode(head);
  if (!r.BodyText.isEmpty()) {
    out += Cp932::Encode(r.BodyText);
    out += "\r\n\r\n";
  }
  const QByteArray boundaryLine = "--" + Cp932::Encode(boundary) + "\r\n";
  out += boundaryLine;
  out += "\r\n";
  if (!r.VerticalText.isEmpty()) {
    out += Cp932::Encode(r.VerticalText);
    out += "\r\n\r\n";
  }
  for (const AttachmentRecord& a : r.Attachments) {
    const QByteArray name = Cp932::Encode(withoutLineBreaks(a.Name));
    out += boundaryLine;
    out += "Content-type: application/octet-stream; Name = \"" + name + "\"\r\n";
    out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
    out += "\r\n";
    out += a.Content;
    out += "\r\n\r\n";
  }
  out += "\r\n";
  return out;
}

bool ParseMailFile(QByteArrayView bytes, MailRecord& r) {
  if (bytes.isEmpty()) return false;
  EventLoopTurn turn;
  LineReader lines(bytes);
  QByteArrayView raw;

  // Header phase: until every one of the twelve headers has been seen.
  enum : unsigned { kAll = (1u << 12) - 1 };
  unsigned seen = 0;
  QString boundaryValue;
  while (seen != kAll) {
    turn.Step();
    if (!lines.Next(raw)) break;
    const QString line = Cp932::Decode(raw);
    bool ok = true;
    unsigned flag = 0;
    if (MatchHeaderLine(line, u"To: ", r.To))
      flag = 1u << 0;
    else if (MatchHeaderLine(line, u"Cc: ", r.Cc))
      flag = 1u << 1;
    else if (MatchHeaderLine(line, u"Bcc: ", r.Bcc))
      flag = 1u << 2;
    else if (MatchHeaderLine(line, u"Subject: ", r.Subject))
      flag = 1u << 3;
    else if (MatchHeaderLine(line, u"Date: ", r.Date, &ok))
      flag = 1u << 4;
    else if (MatchHeaderLine(line, u"X-Tallpost-Seq: ", r.Seq, &ok))
      flag = 1u << 5;
    else if (MatchHeaderLine(line, u"X-Tallpost-MailBox: ", r.MailBox, &ok))
      flag = 1u << 6;
    else if (MatchHeaderLine(line, u"X-Tallpost-PageLines: ", r.PageLines, &ok))
      flag = 1u << 7;
    else if (MatchHeaderLine(line, u"X-Tallpost-LineChars: ", r.LineChars, &ok))
      flag = 1u << 8;
    else if (MatchHeaderLine(line, u"X-Tallpost-LineSpace: ", r.LineSpace, &ok))
      flag = 1u << 9;
    else if (MatchHeaderLine(line, u"Boundary=", boundaryValue))
      flag = 1u << 10;
    else if (MatchHeaderLine(line, u"X-Tallpost-Separator: ", r.Separator, &ok))
      flag = 1u << 11;
    if (!ok) return false;
    seen |= flag;
  }
  boundaryValue.remove(QLatin1Char('"'));
  const QByteArray boundaryLine = "--" + Cp932::Encode(boundaryValue);

  // Body phase. The texts are gathered as bytes and decoded once: CR and LF
  // never occur inside a CP932 character, so this reads as line by line would.
  QByteArray body;
  QByteArray vertical;
  r.Attachments.clear();
  int part = 0;
  bool skip = true;
  bool inHeader = false;
  static constexpr QByteArrayView kDisposition("Content-Disposition: attachment; filename=");
  while (true) {
    turn.Step();
    if (!lines.Next(raw)) break;
    if (skip) {
      skip = false;
      continue;
    }
    if (raw == QByteArrayView(boundaryLine)) {
      ++part;
      if (part >= 2) {
        r.Attachments.append(AttachmentRecord{});
        inHeader = true;
      }
      skip = true;
      continue;
    }
    if (part == 0) {
      body += raw;
      body += kCrLf;
    } else if (part == 1) {
      // The writer ends the file with one line end of its own; it is not part
      // of the vertical text when no attachment follows it.
      if (raw.isEmpty() && lines.AtEnd()) break;
      vertical += raw;
      vertical += kCrLf;
    } else {
      AttachmentRecord& a = r.Attachments.last();
      if (inHeader) {
        if (raw.startsWith(kDisposition)) {
          a.Name = Cp932::Decode(raw.sliced(kDisposition.size()));
          a.Name.remove(QLatin1Char('"'));
          inHeader = false;
        }
      } else {
        a.Content += raw;
        a.Content += kCrLf;
      }
    }
  }
  r.BodyText = Cp932::Decode(body);
  r.VerticalText = Cp932::Decode(vertical);
  for (QString* text : {&r.BodyText, &r.VerticalText}) {
    dropLineEnd(*text);
    dropLineEnd(*text);
  }
  return true;
}

// --- Index --------------------------------------------------------------

QByteArray EncodeMailIndex(const MailIndex& index) {
  // Built as bytes: the whole index is written at every store and send.
  // Quotes and line breaks are handled after encoding, which is safe since no
  // CP932 trail byte is a quote, CR or LF.
  const auto quotedField = [](QByteArray& out, const QString& text) {
    QByteArray bytes = Cp932::Encode(text);
    if (bytes.contains('\r') || bytes.contains('\n')) {
      bytes.replace("\r", "");
      bytes.replace("\n", "");
    }
    if (bytes.contains('"')) bytes.replace("\"", "\"\"");
    out += '"';
    out += bytes;
    out += '"';
  };
  QByteArray out;
  out.reserve(index.size() * 96);
  for (const MailIndexEntry& e : index) {
    out += QByteArray::number(e.Seq);
    out += ',';
    quotedField(out, e.To);
    out += ',';
    quotedField(out, e.Subject);
    out += ",#";
    out += MailIndexDateText(e.Date).toLatin1();
    out += "#,";
    out += QByteArray::number(e.MailBox);
    out += e.HasAttachment ? ",#TRUE#\r\n" : ",#FALSE#\r\n";
  }
  return out;
}

namespace {

// "2003-8-6 2:11:07" or "2003-08-06": read by hand, since an index of a
// hundred thousand lines is read at every start and a format-driven parse per
// line costs seconds.
QDateTime IndexDate(QStringView text) {
  int fields[6] = {0, 0, 0, 0, 0, 0};
  int count = 0;
  qsizetype i = 0;
  const qsizetype n = text.size();
  const char16_t separators[6] = {u'-', u'-', u' ', u':', u':', 0};
  while (count < 6) {
    qsizetype digits = 0;
    int value = 0;
    while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9' && digits < 5) {
      value = value * 10 + (text[i].unicode() - u'0');
      ++i;
      ++digits;
    }
    if (digits == 0) return {};
    fields[count++] = value;
    if (i == n) break;
    if (count == 6 || text[i].unicode() != separators[count - 1]) return {};
    ++i;
  }
  if (i != n || (count != 3 && count != 6)) return {};
  const QDate d(fields[0], fields[1], fields[2]);
  const QTime t(fields[3], fields[4], fields[5]);
  if (!d.isValid() || !t.isValid()) return {};
  return QDateTime(d, t);
}

}  // namespace

bool ParseMailIndexLine(QStringView line, MailIndexEntry& entry) {
  FieldReader f(line);
  MailIndexEntry e;
  QStringView date;
  QStringView flag;
  if (!f.Integer(e.Seq) || !f.Comma() || !f.Quoted(e.To) || !f.Comma() || !f.Quoted(e.Subject) || !f.Comma() ||
      !f.Hashed(date) || !f.Comma() || !f.Integer(e.MailBox) || !f.Comma() || !f.Hashed(flag) || !f.AtEnd())
    return false;
  e.Date = IndexDate(date.trimmed());
  if (!e.Date.isValid()) return false;
  if (flag.compare(u"TRUE", Qt::CaseInsensitive) == 0)
    e.HasAttachment = true;
  else if (flag.compare(u"FALSE", Qt::CaseInsensitive) == 0)
    e.HasAttachment = false;
  else
    return false;
  entry = e;
  return true;
}

// --- Store --------------------------------------------------------------

MailStore::MailStore(QString mailBoxFolder) : folder_(std::move(mailBoxFolder)) {}

QString MailStore::MailFilePath(std::int32_t seq) const {
  return QDir(folder_).filePath(QString::number(seq) + QStringLiteral(".vml"));
}

QString MailStore::IndexPath() const { return QDir(folder_).filePath(QStringLiteral("MailIndex.dat")); }

bool MailStore::ReadMailIndex(MailIndex& index, int* repairedLines) const {
  if (repairedLines != nullptr) *repairedLines = 0;
  const QFileInfo info(IndexPath());
  if (!info.isFile() || info.size() == 0) return false;
  QFile file(IndexPath());
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError || bytes.isEmpty()) return false;

  MailIndex read;
  LineReader lines(bytes);
  QByteArrayView raw;
  while (lines.Next(raw)) {
    const std::int32_t position = static_cast<std::int32_t>(read.size());
    MailIndexEntry e;
    if (ParseMailIndexLine(Cp932::Decode(raw), e) && e.Seq == position) {
      read.append(e);
      continue;
    }
    // A damaged line: what its mail file says, or an empty entry in the trash.
    if (repairedLines != nullptr) ++*repairedLines;
    e = EntryFromMailFile(position);
    if (e.MailBox == 0) e.MailBox = MailBoxNumber::Trash;
    read.append(e);
  }
  index = read;
  return true;
}

MailIndexEntry MailStore::EntryFromMailFile(std::int32_t seq) const {
  MailIndexEntry e;
  e.Seq = seq;
  MailRecord r;
  if (ReadMailFile(seq, r)) {
    e.To = r.To;
    e.Subject = r.Subject;
    e.Date = r.Date;
    if (r.MailBox >= MailBoxNumber::Outbox && r.MailBox <= MailBoxNumber::Trash) e.MailBox = r.MailBox;
    e.HasAttachment = !r.Attachments.isEmpty();
  }
  if (!e.Date.isValid()) {
    const QDateTime now = QDateTime::currentDateTime();
    e.Date = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
  }
  return e;
}

bool MailStore::WriteMailIndex(const MailIndex& index) const {
  if (index.isEmpty()) return false;
  QDir().mkpath(folder_);
  return AtomicFile::Write(IndexPath(), EncodeMailIndex(index), AtomicFile::Existing::MayCreate, kDataFileMode);
}

bool MailStore::WriteMailFile(std::int32_t seq, const MailRecord& record) const {
  if (seq < 0) return false;
  QDir().mkpath(folder_);
  return AtomicFile::Write(MailFilePath(seq), EncodeMailFile(record, MailFileBoundary()),
                           AtomicFile::Existing::MayCreate, kDataFileMode);
}

bool MailStore::ReadMailFile(std::int32_t seq, MailRecord& record) const {
  QFile file(MailFilePath(seq));
  if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  file.close();
  return ParseMailFile(bytes, record);
}

std::int32_t MailStore::AllocateMailNumber(const MailIndex& index) const {
  std::int64_t next = 0;
  for (const MailIndexEntry& e : index) next = std::max<std::int64_t>(next, std::int64_t{e.Seq} + 1);
  next = std::max<std::int64_t>(next, index.size());
  static const QRegularExpression mailFile(QStringLiteral("^([0-9]+)\\.vml$"));
  const QStringList names = QDir(folder_).entryList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& name : names) {
    const QRegularExpressionMatch m = mailFile.match(name);
    if (!m.hasMatch()) continue;
    bool ok = false;
    const qlonglong n = m.captured(1).toLongLong(&ok);
    // A number past the range cannot be a mail of ours.
    if (ok && n <= std::numeric_limits<std::int32_t>::max()) next = std::max<std::int64_t>(next, n + 1);
  }
  if (next > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(next);
}
