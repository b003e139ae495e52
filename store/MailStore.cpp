#include "store/MailStore.h"

#include "store/AppState.h"
#include "support/AtomicFile.h"
#include "support/Cp932.h"
#include "support/EventLoopTurn.h"
#include "support/NumericText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <algorithm>
#include <cstring>
#include <dirent.h>
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

// A local date and time of this machine. A wall-clock time that the zone
// skips (the hour lost to daylight saving) reads as the time the clock shows
// that many seconds after midnight, just past the gap: a date, not damage.
QDateTime LocalDateTime(const QDate& d, const QTime& t) {
  QDateTime dt(d, t);
  if (dt.isValid()) return dt;
  const QDateTime midnight(d, QTime(0, 0));
  if (midnight.isValid()) return midnight.addSecs(t.msecsSinceStartOfDay() / 1000);
  return QDateTime(d, QTime(12, 0)).addSecs(t.msecsSinceStartOfDay() / 1000 - 12 * 3600);
}

// The "Date: " of a mail file. This program writes "yyyy/MM/dd HH:mm:ss";
// the old one wrote the general date of its machine's regional settings, so
// "03/08/06 2:11:07", "2003/08/06 14:11", "2003/08/06 午後 2:11:07",
// "8/6/2003 2:11:07 PM" and "2003年8月6日 14時11分" all occur. The numbers are
// taken in order (year, month, day, then hours, minutes, seconds), a year of
// two digits as Windows reads it (00-29 is 20xx), a four-digit last number of
// the date as a year written last (month first, or day first when the first
// number cannot be a month), and 午前/午後/AM/PM as the half of the day.
bool parseDate(QStringView text, QDateTime& out) {
  QList<int> numbers;
  QList<int> digits;
  int half = 0;  // 1 morning, 2 afternoon
  for (qsizetype i = 0; i < text.size();) {
    if (text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
      int value = 0;
      int count = 0;
      while (i < text.size() && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
        if (++count > 4) return false;
        value = value * 10 + (text[i].unicode() - u'0');
        ++i;
      }
      numbers.append(value);
      digits.append(count);
      continue;
    }
    const QStringView rest = text.sliced(i);
    if (rest.startsWith(u"午前") || rest.startsWith(u"AM", Qt::CaseInsensitive)) {
      half = 1;
      i += 2;
    } else if (rest.startsWith(u"午後") || rest.startsWith(u"PM", Qt::CaseInsensitive)) {
      half = 2;
      i += 2;
    } else {
      const char16_t c = text[i].unicode();
      // Separators of dates and times in the forms above; anything else is not a date.
      if (!(c == u'/' || c == u'-' || c == u'.' || c == u':' || c == u' ' || c == u'\t' || c == u'年' || c == u'月' ||
            c == u'日' || c == u'時' || c == u'分' || c == u'秒' || c == 0x3000))
        return false;
      ++i;
    }
  }
  if (numbers.size() != 3 && numbers.size() != 5 && numbers.size() != 6) return false;
  int year = numbers[0], month = numbers[1], day = numbers[2];
  bool twoDigitYear = digits[0] <= 2;
  if (digits[0] <= 2 && digits[2] == 4) {
    year = numbers[2];
    twoDigitYear = false;
    if (numbers[0] > 12) {
      day = numbers[0];
      month = numbers[1];
    } else {
      month = numbers[0];
      day = numbers[1];
    }
  }
  if (twoDigitYear) year += year < 30 ? 2000 : 1900;
  int hour = numbers.value(3, 0), minute = numbers.value(4, 0);
  const int second = numbers.value(5, 0);
  if (half != 0) {
    if (hour < 1 || hour > 12) return false;
    if (half == 1 && hour == 12) hour = 0;
    if (half == 2 && hour < 12) hour += 12;
  }
  const QDate d(year, month, day);
  const QTime t(hour, minute, second);
  if (year < 1 || !d.isValid() || !t.isValid()) return false;
  out = LocalDateTime(d, t);
  return out.isValid();
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

bool isAsciiDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

// A decimal number of 32 bits, optionally signed, with spaces around it.
bool parseInt32(QStringView text, std::int32_t& out) {
  text = text.trimmed();
  qsizetype i = 0;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  if (i == text.size()) return false;
  for (qsizetype k = i; k < text.size(); ++k)
    if (!isAsciiDigit(text[k])) return false;
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (!ok || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

// A quoted field in which a doubled quote stands for one (how this program
// writes a quote); the whole of text must be the field.
bool parseDoubledQuotes(QStringView text, QString& out) {
  if (text.size() < 2 || text.front() != u'"' || text.back() != u'"') return false;
  out.clear();
  const QStringView inner = text.sliced(1, text.size() - 2);
  for (qsizetype i = 0; i < inner.size(); ++i) {
    if (inner[i] != u'"') {
      out.append(inner[i]);
      continue;
    }
    if (i + 1 < inner.size() && inner[i + 1] == u'"') {
      out.append(u'"');
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

// "To","Subject" as this program writes it (quotes doubled), or as the old
// program wrote it (nothing escaped: a quote inside a field stands as it is).
// splits receives every way of reading the pair; more than one only when the
// raw form holds "," more than once.
void parseStringPair(QStringView middle, QList<std::pair<QString, QString>>& splits) {
  splits.clear();
  middle = middle.trimmed();
  if (middle.size() < 5 || middle.front() != u'"' || middle.back() != u'"') return;
  // Quotes doubled: a doubled field holds no lone quote, so only one comma
  // can stand between two fields that both read.
  for (qsizetype at = middle.indexOf(u','); at >= 0; at = middle.indexOf(u',', at + 1)) {
    QString to, subject;
    if (parseDoubledQuotes(middle.first(at).trimmed(), to) &&
        parseDoubledQuotes(middle.sliced(at + 1).trimmed(), subject)) {
      splits.append({to, subject});
      return;
    }
  }
  // Nothing escaped: the fields are what stands between the outer quotes and
  // a comma between two quotes in the middle.
  for (qsizetype at = middle.indexOf(u','); at >= 0; at = middle.indexOf(u',', at + 1)) {
    const QStringView left = middle.first(at).trimmed();
    const QStringView right = middle.sliced(at + 1).trimmed();
    if (left.size() < 2 || right.size() < 2 || left.back() != u'"' || right.front() != u'"') continue;
    splits.append({left.sliced(1, left.size() - 2).toString(), right.sliced(1, right.size() - 2).toString()});
  }
}

}  // namespace

// --- Texts --------------------------------------------------------------

QString StripControlChars(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text)
    if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t')) out.append(c);
  return out;
}

QByteArray TrimmedContent(const QByteArray& content) {
  qsizetype begin = 0;
  qsizetype end = content.size();
  const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  while (begin < end && isBreak(content[begin])) ++begin;
  while (end > begin && isBreak(content[end - 1])) --end;
  return content.sliced(begin, end - begin);
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
  // A character the file cannot hold is kept as a full-width 〓, never as a
  // half-width "?" that would shift every later column of a vertical text.
  constexpr Cp932::Missing kMissing = Cp932::Missing::GetaMark;
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
  // Before "Boundary=": a reader's header phase ends with its twelfth header.
  if (!r.Delivered.isEmpty())
    head += QStringLiteral("X-Tallpost-Delivered: ") + withoutLineBreaks(r.Delivered.join(QStringLiteral(", "))) + crlf;
  head += QStringLiteral("Boundary=\"") + boundary + QStringLiteral("\"") + crlf;
  head += crlf;

  QByteArray out = Cp932::Encode(head, kMissing);
  if (!r.BodyText.isEmpty()) {
    out += Cp932::Encode(r.BodyText, kMissing);
    out += "\r\n\r\n";
  }
  const QByteArray boundaryLine = "--" + Cp932::Encode(boundary) + "\r\n";
  out += boundaryLine;
  out += "\r\n";
  if (!r.VerticalText.isEmpty()) {
    out += Cp932::Encode(r.VerticalText, kMissing);
    out += "\r\n\r\n";
  }
  for (const AttachmentRecord& a : r.Attachments) {
    const QByteArray name = Cp932::Encode(withoutLineBreaks(a.Name), kMissing);
    out += boundaryLine;
    out += "Content-type: application/octet-stream; Name = \"" + name + "\"\r\n";
    out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
    out += "\r\n";
    // The reader gives the content back with the blank lines around it;
    // written as read, it would grow by them at every store.
    out += TrimmedContent(a.Content);
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
    // A date that cannot be read does not make the mail unreadable: it is
    // left invalid, and the index's date stands in for it.
    bool dateOk = true;
    unsigned flag = 0;
    if (MatchHeaderLine(line, u"To: ", r.To))
      flag = 1u << 0;
    else if (MatchHeaderLine(line, u"Cc: ", r.Cc))
      flag = 1u << 1;
    else if (MatchHeaderLine(line, u"Bcc: ", r.Bcc))
      flag = 1u << 2;
    else if (MatchHeaderLine(line, u"Subject: ", r.Subject))
      flag = 1u << 3;
    else if (MatchHeaderLine(line, u"Date: ", r.Date, &dateOk))
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
    else if (QString delivered; MatchHeaderLine(line, u"X-Tallpost-Delivered: ", delivered)) {
      r.Delivered.clear();
      for (const QString& address : delivered.split(u','))
        if (!address.trimmed().isEmpty()) r.Delivered.append(address.trimmed());
    }
    if (!ok) return false;
    seen |= flag;
  }
  boundaryValue.remove(QLatin1Char('"'));
  r.Boundary = boundaryValue;
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
    while (i < n && isAsciiDigit(text[i]) && digits < 4) {
      value = value * 10 + (text[i].unicode() - u'0');
      ++i;
      ++digits;
    }
    if (digits == 0 || (i < n && isAsciiDigit(text[i]))) return {};
    fields[count++] = value;
    if (i == n) break;
    if (count == 6 || text[i].unicode() != separators[count - 1]) return {};
    ++i;
  }
  if (i != n || (count != 3 && count != 6)) return {};
  const QDate d(fields[0], fields[1], fields[2]);
  const QTime t(fields[3], fields[4], fields[5]);
  if (fields[0] < 1 || !d.isValid() || !t.isValid()) return {};
  return LocalDateTime(d, t);
}

// The fixed tail of an index line, read from its end: ,#date#,mailbox,#BOOL#.
// tailStart receives where the comma before the date stands.
bool parseIndexTail(QStringView line, MailIndexEntry& e, qsizetype& tailStart) {
  line = line.trimmed();
  qsizetype end = line.size();
  if (end < 2 || line[end - 1] != u'#') return false;
  const qsizetype flagOpen = line.lastIndexOf(u'#', end - 2);
  if (flagOpen < 0) return false;
  const QStringView flag = line.sliced(flagOpen + 1, end - 2 - flagOpen).trimmed();
  if (flag.compare(u"TRUE", Qt::CaseInsensitive) == 0)
    e.HasAttachment = true;
  else if (flag.compare(u"FALSE", Qt::CaseInsensitive) == 0)
    e.HasAttachment = false;
  else
    return false;
  const qsizetype boxComma = line.lastIndexOf(u',', flagOpen);
  if (boxComma < 0 || !line.sliced(boxComma + 1, flagOpen - boxComma - 1).trimmed().isEmpty()) return false;
  const qsizetype dateComma = line.lastIndexOf(u',', boxComma - 1);
  if (dateComma < 0 || !parseInt32(line.sliced(dateComma + 1, boxComma - dateComma - 1), e.MailBox)) return false;
  const QStringView date = line.first(dateComma).trimmed();
  if (!date.endsWith(u'#')) return false;
  const qsizetype dateOpen = date.lastIndexOf(u'#', date.size() - 2);
  if (dateOpen < 0) return false;
  e.Date = IndexDate(date.sliced(dateOpen + 1, date.size() - dateOpen - 2).trimmed());
  if (!e.Date.isValid()) return false;
  const QStringView before = line.first(dateOpen).trimmed();
  if (!before.endsWith(u',')) return false;
  tailStart = before.size() - 1;
  return true;
}

// An index line, with every way of reading its two strings.
bool parseIndexLine(QStringView line, MailIndexEntry& entry, QList<std::pair<QString, QString>>& splits) {
  line = line.trimmed();
  MailIndexEntry e;
  qsizetype tail = 0;
  const qsizetype firstComma = line.indexOf(u',');
  if (firstComma < 0 || !parseInt32(line.first(firstComma), e.Seq)) return false;
  if (!parseIndexTail(line, e, tail) || tail <= firstComma) return false;
  parseStringPair(line.sliced(firstComma + 1, tail - firstComma - 1), splits);
  if (splits.isEmpty()) return false;
  e.To = splits.front().first;
  e.Subject = splits.front().second;
  entry = e;
  return true;
}

}  // namespace

bool ParseMailIndexLine(QStringView line, MailIndexEntry& entry) {
  QList<std::pair<QString, QString>> splits;
  return parseIndexLine(line, entry, splits);
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

  struct Line {
    MailIndexEntry entry;
    bool good = false;
    QList<std::pair<QString, QString>> splits;
  };
  QList<Line> lines;
  {
    LineReader reader(bytes);
    QByteArrayView raw;
    while (reader.Next(raw)) {
      const QString text = Cp932::Decode(raw);
      // An empty line (the one after the last line end, for one) is no mail.
      if (text.trimmed().isEmpty()) continue;
      Line line;
      line.good = parseIndexLine(text, line.entry, line.splits);
      if (!line.good) {
        // What can still be read of it: the number before the first comma.
        const qsizetype comma = text.indexOf(u',');
        if (!parseInt32(QStringView(text).first(comma < 0 ? text.size() : comma), line.entry.Seq)) line.entry.Seq = -1;
      }
      lines.append(line);
    }
  }
  if (lines.isEmpty()) return false;

  // Every entry goes to its own number; a number may stand past the count of
  // lines only as far as the mail files go (a gap in the numbers), so a
  // damaged number never makes a huge index.
  std::int64_t limit = lines.size() - 1;
  bool listed = false;
  for (const Line& line : lines) {
    if (line.entry.Seq <= limit) continue;
    if (!listed) {
      limit = std::max<std::int64_t>(limit, HighestMailFileNumber()) + 1024;
      listed = true;
    }
  }
  QList<int> place(lines.size(), -1);
  std::int64_t size = 0;
  QList<bool> taken;
  const auto take = [&](std::int64_t seq) {
    if (seq < 0 || seq > limit) return false;
    if (seq >= taken.size()) taken.resize(seq + 1, false);
    if (taken[seq]) return false;
    taken[seq] = true;
    size = std::max(size, seq + 1);
    return true;
  };
  for (qsizetype i = 0; i < lines.size(); ++i)
    if (lines[i].good && take(lines[i].entry.Seq)) place[i] = lines[i].entry.Seq;
  // A damaged line keeps the number it shows, or takes the one after the line before it.
  std::int64_t previous = -1;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (place[i] < 0) {
      std::int64_t seq = lines[i].entry.Seq;
      if (!take(seq)) {
        seq = previous + 1;
        while (seq <= limit && !take(seq)) ++seq;
      }
      if (seq <= limit) place[i] = static_cast<int>(seq);
    }
    if (place[i] >= 0) previous = place[i];
  }

  MailIndex read(size);
  QList<bool> filled(size, false);
  int rebuilt = 0;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int seq = place[i];
    if (seq < 0) continue;
    filled[seq] = true;
    Line& line = lines[i];
    // A good line counts where it names its own number (a second line of the
    // same number is as good as damaged).
    if (line.good && line.entry.Seq == seq) {
      if (line.splits.size() > 1) {
        // The old program's quotes leave more than one reading: the mail
        // file's To decides.
        MailRecord r;
        if (ReadMailFile(seq, r))
          for (const auto& [to, subject] : line.splits)
            if (to == r.To) {
              line.entry.To = to;
              line.entry.Subject = subject;
              break;
            }
      }
      read[seq] = line.entry;
      continue;
    }
    // A line that cannot be read: what its mail file says, in the drafts.
    read[seq] = RecoveredEntry(seq);
    ++rebuilt;
  }
  // Numbers no line names: a mail file the index lost is recovered into the
  // drafts; without one the number is listed nowhere.
  for (std::int64_t seq = 0; seq < size; ++seq) {
    if (filled[seq]) continue;
    MailIndexEntry e = EntryFromMailFile(static_cast<std::int32_t>(seq));
    if (e.MailBox != 0) ++rebuilt;
    read[seq] = e;
  }
  if (repairedLines != nullptr) *repairedLines = rebuilt;
  index = read;
  return true;
}

MailIndexEntry MailStore::EntryFromMailFile(std::int32_t seq) const {
  MailIndexEntry e;
  e.Seq = seq;
  MailRecord r;
  // Whatever mailbox the file names (it is not kept up to date there), a
  // recovered mail goes to the drafts: never to the outbox, where a batch
  // would send it again.
  if (ReadMailFile(seq, r)) {
    e.To = r.To;
    e.Subject = r.Subject;
    e.Date = r.Date;
    e.MailBox = MailBoxNumber::Drafts;
    e.HasAttachment = !r.Attachments.isEmpty();
  }
  if (!e.Date.isValid()) {
    const QDateTime now = QDateTime::currentDateTime();
    e.Date = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
  }
  return e;
}

MailIndexEntry MailStore::RecoveredEntry(std::int32_t seq) const {
  MailIndexEntry e = EntryFromMailFile(seq);
  e.MailBox = MailBoxNumber::Drafts;
  return e;
}

std::int64_t MailStore::HighestMailFileNumber() const {
  // Read straight from the directory, unsorted and without a pattern match
  // per name: a store of a hundred thousand mails has as many files.
  std::int64_t highest = -1;
  DIR* dir = ::opendir(QFile::encodeName(folder_).constData());
  if (dir == nullptr) return highest;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    std::int64_t n = 0;
    int digits = 0;
    while (name[digits] >= '0' && name[digits] <= '9' && digits < 11) n = n * 10 + (name[digits++] - '0');
    // "N.vml" exactly; a number past the range cannot be a mail of ours.
    if (digits == 0 || std::strcmp(name + digits, ".vml") != 0) continue;
    if (n <= std::numeric_limits<std::int32_t>::max()) highest = std::max(highest, n);
  }
  ::closedir(dir);
  return highest;
}

bool MailStore::WriteMailIndex(const MailIndex& index) const {
  if (index.isEmpty()) return false;
  QDir().mkpath(folder_);
  return AtomicFile::Write(IndexPath(), EncodeMailIndex(index), AtomicFile::Existing::MayCreate, kDataFileMode);
}

bool MailStore::WriteMailFile(std::int32_t seq, const MailRecord& record) const {
  if (seq < 0) return false;
  QDir().mkpath(folder_);
  // The boundary the mail had, while it stays a line no text of the mail holds.
  QString boundary = record.Boundary;
  const QString line = QStringLiteral("--") + boundary;
  if (boundary.isEmpty() || boundary.contains(u'"') || StripControlChars(boundary) != boundary ||
      record.BodyText.contains(line) || record.VerticalText.contains(line))
    boundary = MailFileBoundary();
  return AtomicFile::Write(MailFilePath(seq), EncodeMailFile(record, boundary), AtomicFile::Existing::MayCreate,
                           kDataFileMode);
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
  return NextMailNumber(index, HighestMailFileNumber());
}

std::int32_t MailStore::NextMailNumber(const MailIndex& index, std::int64_t highestFile) {
  std::int64_t next = std::max<std::int64_t>(highestFile + 1, index.size());
  for (const MailIndexEntry& e : index) next = std::max<std::int64_t>(next, std::int64_t{e.Seq} + 1);
  if (next > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(next);
}
