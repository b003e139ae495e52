#include "store/VCard.h"

#include "support/Cp932.h"

#include <QStringDecoder>

namespace VCard {
namespace {

// The lines of a file as Outlook Express wrote them: CR LF or a lone CR ends
// a line, a lone LF does not.
QList<QByteArrayView> droppedLines(QByteArrayView bytes) {
  QList<QByteArrayView> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') continue;
    lines.append(bytes.sliced(start, i - start));
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.append(bytes.sliced(start));
  return lines;
}

// One content line: [group.]NAME;PARAM...:VALUE, the value still as bytes.
struct Property {
  QByteArray Name;           // upper case, without its group
  QList<QByteArray> Params;  // upper case, "KEY=VALUE" or bare
  QByteArray Value;
};

QByteArray paramValue(const Property& p, QByteArrayView key) {
  for (const QByteArray& param : p.Params) {
    if (param.startsWith(key) && param.size() > key.size() && param[key.size()] == '=') {
      QByteArray v = param.mid(key.size() + 1);
      if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"')) v = v.mid(1, v.size() - 2);
      return v;
    }
  }
  return {};
}

bool hasBare(const Property& p, QByteArrayView bare) {
  for (const QByteArray& param : p.Params)
    if (param == bare) return true;
  return false;
}

bool parseProperty(const QByteArray& line, Property& p) {
  // The name and parameters end at the first ":" outside quotes.
  qsizetype colon = -1;
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon <= 0) return false;
  const QByteArray head = line.left(colon);
  p.Value = line.mid(colon + 1);
  QList<QByteArray> parts = head.split(';');
  QByteArray name = parts.takeFirst().trimmed().toUpper();
  const qsizetype dot = name.lastIndexOf('.');
  if (dot >= 0) name = name.mid(dot + 1);
  p.Name = name;
  p.Params.clear();
  for (const QByteArray& part : parts) p.Params.append(part.trimmed().toUpper());
  return !p.Name.isEmpty();
}

QByteArray quotedPrintable(QByteArrayView v) {
  QByteArray out;
  for (qsizetype i = 0; i < v.size(); ++i) {
    if (v[i] == '=' && i + 2 < v.size()) {
      bool ok = false;
      const int byte = v.sliced(i + 1, 2).toByteArray().toInt(&ok, 16);
      if (ok) {
        out += static_cast<char>(byte);
        i += 2;
        continue;
      }
    }
    out += v[i];
  }
  return out;
}

QString decodeText(const QByteArray& bytes, QByteArray charset, bool version21) {
  if (charset.isEmpty()) charset = version21 ? "SHIFT_JIS" : "UTF-8";
  if (charset == "SHIFT_JIS" || charset == "SHIFT-JIS" || charset == "SJIS" || charset == "CP932" ||
      charset == "WINDOWS-31J" || charset == "MS932")
    return Cp932::Decode(bytes);
  QStringDecoder decoder(charset.constData());
  if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
  QString text = decoder.decode(bytes);
  // A 3.0 card written in the system's code page after all.
  if (decoder.hasError() && charset == "UTF-8") return Cp932::Decode(bytes);
  return text;
}

// Undoes the escapes of a text value: \\ \, \; \n.
QString unescape(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] == u'\\' && i + 1 < value.size()) {
      const QChar next = value[++i];
      out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
      continue;
    }
    out += value[i];
  }
  return out;
}

// Splits at the separators that no backslash escapes.
QStringList splitUnescaped(const QString& value, QChar separator) {
  QStringList parts{QString()};
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] == u'\\' && i + 1 < value.size()) {
      parts.last() += value[i];
      parts.last() += value[++i];
    } else if (value[i] == separator) {
      parts.append(QString());
    } else {
      parts.last() += value[i];
    }
  }
  return parts;
}

QString oneLine(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  text.replace(u'\n', u' ');
  text.replace(u'\r', u' ');
  return text.trimmed();
}

QByteArray escape(const QString& text) {
  QString out;
  for (QChar c : text) {
    if (c == u'\\' || c == u',' || c == u';') out += u'\\';
    if (c == u'\n') {
      out += QStringLiteral("\\n");
      continue;
    }
    if (c == u'\r') continue;
    out += c;
  }
  return out.toUtf8();
}

// Folds a content line at 75 octets, never inside a UTF-8 character.
QByteArray folded(const QByteArray& line) {
  QByteArray out;
  qsizetype width = 0;
  for (qsizetype i = 0; i < line.size();) {
    qsizetype n = 1;
    const auto lead = static_cast<unsigned char>(line[i]);
    if (lead >= 0xF0)
      n = 4;
    else if (lead >= 0xE0)
      n = 3;
    else if (lead >= 0xC0)
      n = 2;
    if (width + n > 75) {
      out += "\r\n ";
      width = 1;
    }
    out += line.mid(i, n);
    width += n;
    i += n;
  }
  return out + "\r\n";
}

}  // namespace

QString ImportedName() { return QStringLiteral("インポートアドレス"); }

Person ReadDropped(QByteArrayView bytes) {
  Person person;
  person.Name = ImportedName();
  for (QByteArrayView raw : droppedLines(bytes)) {
    const QString line = Cp932::Decode(raw);
    if (line.startsWith(QStringLiteral("FN:")))
      person.Name = line.mid(3);
    else if (line.startsWith(QStringLiteral("EMAIL;PREF;INTERNET:")))
      person.Addresses.append(line.mid(20));
    else if (line.startsWith(QStringLiteral("EMAIL;INTERNET:")))
      person.Addresses.append(line.mid(15));
  }
  return person;
}

QList<Person> ReadCards(QByteArrayView bytes) {
  // Physical lines at CR LF, LF or CR.
  QList<QByteArray> physical;
  {
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
      if (bytes[i] != '\r' && bytes[i] != '\n') continue;
      physical.append(bytes.sliced(start, i - start).toByteArray());
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
    if (start < bytes.size()) physical.append(bytes.sliced(start).toByteArray());
  }
  // Logical lines: a line beginning with a space or a tab continues the one
  // before; a quoted-printable value ending in "=" goes on in the next line.
  QList<QByteArray> lines;
  for (const QByteArray& line : physical) {
    const bool indented = line.startsWith(' ') || line.startsWith('\t');
    if (!lines.isEmpty() && lines.last().endsWith('=') && lines.last().toUpper().contains("QUOTED-PRINTABLE")) {
      // A soft line break (some writers indent the line after it too).
      lines.last().chop(1);
      lines.last() += indented ? line.mid(1) : line;
      continue;
    }
    if (!lines.isEmpty() && indented) {
      lines.last() += line.mid(1);
      continue;
    }
    lines.append(line);
  }

  QList<Person> people;
  bool inCard = false;
  bool version21 = false;
  Person person;
  QString structuredName;
  for (const QByteArray& line : lines) {
    Property p;
    if (!parseProperty(line, p)) continue;
    const QByteArray value = p.Value.trimmed().toUpper();
    if (p.Name == "BEGIN" && value == "VCARD") {
      inCard = true;
      version21 = false;
      person = Person();
      structuredName.clear();
      continue;
    }
    if (!inCard) continue;
    if (p.Name == "END" && value == "VCARD") {
      inCard = false;
      if (person.Name.isEmpty()) person.Name = structuredName;
      if (person.Name.isEmpty() && !person.Addresses.isEmpty()) person.Name = person.Addresses.front();
      if (!person.Name.isEmpty() || !person.Addresses.isEmpty()) people.append(person);
      continue;
    }
    if (p.Name == "VERSION") {
      version21 = p.Value.trimmed() == "2.1";
      continue;
    }
    if (p.Name != "FN" && p.Name != "N" && p.Name != "EMAIL" && p.Name != "CATEGORIES") continue;
    QByteArray raw = p.Value;
    const QByteArray encoding = paramValue(p, "ENCODING");
    if (encoding == "QUOTED-PRINTABLE" || hasBare(p, "QUOTED-PRINTABLE"))
      raw = quotedPrintable(raw);
    else if (encoding == "B" || encoding == "BASE64" || hasBare(p, "BASE64"))
      raw = QByteArray::fromBase64(raw);
    const QString text = decodeText(raw, paramValue(p, "CHARSET"), version21);
    if (p.Name == "FN") {
      person.Name = oneLine(unescape(text));
    } else if (p.Name == "N") {
      const QStringList parts = splitUnescaped(text, u';');
      // Family name first, as Japanese names are written.
      const QString family = oneLine(unescape(parts.value(0)));
      const QString given = oneLine(unescape(parts.value(1)));
      structuredName = (family + u' ' + given).trimmed();
    } else if (p.Name == "EMAIL") {
      const QString address = oneLine(unescape(text));
      if (!address.isEmpty()) person.Addresses.append(address);
    } else {
      for (const QString& c : splitUnescaped(text, u','))
        if (!oneLine(unescape(c)).isEmpty()) person.Categories.append(oneLine(unescape(c)));
    }
  }
  return people;
}

QByteArray WriteCards(const QList<Person>& people) {
  QByteArray out;
  for (const Person& person : people) {
    out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    out += folded("FN:" + escape(person.Name));
    for (const QString& address : person.Addresses) out += folded("EMAIL:" + escape(address));
    if (!person.Categories.isEmpty()) {
      QByteArray list;
      for (const QString& c : person.Categories) list += (list.isEmpty() ? "" : ",") + escape(c);
      out += folded("CATEGORIES:" + list);
    }
    out += "END:VCARD\r\n";
  }
  return out;
}

}  // namespace VCard
