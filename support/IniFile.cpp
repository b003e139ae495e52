#include "support/IniFile.h"

#include "support/AtomicFile.h"
#include "support/Cp932.h"

#include <QFile>
#include <QHash>

namespace IniFile {
namespace {

QString untilNul(const QString& s) {
  const qsizetype n = s.indexOf(QChar(0));
  return n < 0 ? s : s.left(n);
}

// The section name of a header line, or a null string when the line is not one.
QString sectionName(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith(QLatin1Char('['))) return {};
  const qsizetype close = t.indexOf(QLatin1Char(']'));
  if (close < 0) return {};
  QString name = t.mid(1, close - 1).trimmed();
  if (name.isNull()) name = QStringLiteral("");
  return name;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Lines [begin, end) of the first section called name; begin is the line after
// the header. found is false when there is no such section.
struct Range {
  bool found = false;
  qsizetype header = -1;
  qsizetype begin = 0;
  qsizetype end = 0;
};

Range findSection(const QStringList& lines, const QString& name) {
  Range r;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString s = sectionName(lines[i]);
    if (!s.isNull() && sameName(s, name)) {
      r.found = true;
      r.header = i;
      r.begin = i + 1;
      r.end = lines.size();
      for (qsizetype k = i + 1; k < lines.size(); ++k) {
        if (!sectionName(lines[k]).isNull()) {
          r.end = k;
          break;
        }
      }
      return r;
    }
  }
  return r;
}

// The index of the key's line within the range, or -1.
qsizetype findKey(const QStringList& lines, const Range& r, const QString& key) {
  for (qsizetype i = r.begin; i < r.end; ++i) {
    const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
    if (eq < 0) continue;
    if (sameName(lines[i].left(eq).trimmed(), key)) return i;
  }
  return -1;
}

}  // namespace

namespace {
// The files with a batch open, and their lines as written so far.
struct Pending {
  QStringList lines;
  bool readOk = true;
};
QHash<QString, Pending>& batches() {
  static QHash<QString, Pending> open;
  return open;
}
QStringList readFromDisk(const QString& file, bool* ok);
}  // namespace

Batch::Batch(const QString& file) : file_(file) {
  if (batches().contains(file)) return;  // an outer batch gathers these too
  Pending p;
  p.lines = readFromDisk(file, &p.readOk);
  batches().insert(file, p);
  open_ = true;
}

Batch::~Batch() {
  if (open_) batches().remove(file_);
}

bool Batch::Commit() {
  if (!open_) return true;
  const Pending p = batches().take(file_);
  open_ = false;
  return p.readOk && WriteLines(file_, p.lines);
}

QStringList ReadLines(const QString& file, bool* ok) {
  const auto it = batches().constFind(file);
  if (it != batches().constEnd()) {
    if (ok) *ok = it->readOk;
    return it->lines;
  }
  return readFromDisk(file, ok);
}

namespace {
QStringList readFromDisk(const QString& file, bool* ok) {
  if (ok) *ok = true;
  QFile f(file);
  if (!f.exists()) return {};
  if (!f.open(QIODevice::ReadOnly)) {
    if (ok) *ok = false;
    return {};
  }
  const QString text = Cp932::Decode(f.readAll());
  if (text.isEmpty()) return {};
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& line : lines)
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  // A final line end does not start another line.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}
}  // namespace

bool WriteLines(const QString& file, const QStringList& lines) {
  const auto it = batches().find(file);
  if (it != batches().end()) {
    it->lines = lines;
    return it->readOk;
  }
  QString text;
  for (const QString& line : lines) {
    text += line;
    text += QStringLiteral("\r\n");
  }
  return AtomicFile::Write(file, Cp932::Encode(text));
}

qsizetype GetString(const QString& section, const QString& key, const QString& defaultValue, QString& value,
                    qsizetype bufferSize, const QString& file) {
  value.clear();
  if (bufferSize <= 0) return 0;
  const QStringList lines = ReadLines(file);
  QString found = untilNul(defaultValue).trimmed();
  const Range r = findSection(lines, untilNul(section).trimmed());
  if (r.found) {
    const qsizetype at = findKey(lines, r, untilNul(key).trimmed());
    if (at >= 0) {
      const QString& line = lines[at];
      found = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    }
  }
  value = found.left(bufferSize - 1);
  return value.size();
}

qsizetype GetSection(const QString& section, QString& value, qsizetype bufferSize, const QString& file) {
  value.clear();
  if (bufferSize < 2) return 0;
  const QStringList lines = ReadLines(file);
  const Range r = findSection(lines, untilNul(section).trimmed());
  if (!r.found) {
    value = QString(1, QChar(0));
    return 0;
  }
  QString out;
  for (qsizetype i = r.begin; i < r.end; ++i) {
    if (lines[i].isEmpty()) continue;
    out += lines[i];
    out += QChar(0);
  }
  if (out.size() > bufferSize - 2) {
    out.truncate(bufferSize - 2);
    out += QChar(0);
  }
  const qsizetype count = out.size();
  out += QChar(0);
  value = out;
  return count;
}

bool WriteString(const QString& section, const QString& key, const QString& value, const QString& file) {
  const QString sec = untilNul(section).trimmed();
  const QString k = untilNul(key).trimmed();
  if (sec.isEmpty() || k.isEmpty()) return false;
  bool readOk = true;
  QStringList lines = ReadLines(file, &readOk);
  if (!readOk) return false;
  const QString entry = k + QLatin1Char('=') + untilNul(value).trimmed();
  const Range r = findSection(lines, sec);
  if (!r.found) {
    lines << QLatin1Char('[') + sec + QLatin1Char(']') << entry;
  } else if (const qsizetype at = findKey(lines, r, k); at >= 0) {
    lines[at] = entry;
  } else {
    qsizetype insertAt = r.begin;
    for (qsizetype i = r.begin; i < r.end; ++i)
      if (!lines[i].trimmed().isEmpty()) insertAt = i + 1;
    lines.insert(insertAt, entry);
  }
  return WriteLines(file, lines);
}

bool WriteSection(const QString& section, const QString& text, const QString& file) {
  const QString sec = untilNul(section).trimmed();
  if (sec.isEmpty()) return false;
  bool readOk = true;
  QStringList lines = ReadLines(file, &readOk);
  if (!readOk) return false;
  QStringList body;
  for (const QString& line : text.split(QChar(0))) {
    if (line.isEmpty()) break;
    body << line;
  }
  const Range r = findSection(lines, sec);
  if (!r.found) {
    lines << QLatin1Char('[') + sec + QLatin1Char(']');
    lines << body;
  } else {
    lines.remove(r.begin, r.end - r.begin);
    for (qsizetype i = 0; i < body.size(); ++i) lines.insert(r.begin + i, body[i]);
  }
  return WriteLines(file, lines);
}

}  // namespace IniFile
