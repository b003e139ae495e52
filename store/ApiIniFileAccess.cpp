#include "store/ApiIniFileAccess.h"

#include "support/AtomicFile.h"
#include "support/Dialogs.h"
#include "support/IniFile.h"

#include <QFileInfo>

namespace {
const QString kCrLf = QStringLiteral("\r\n");

QString withoutNul(QString s) {
  s.remove(QChar(0));
  return s;
}
}  // namespace

ApiIniFileAccess::ApiIniFileAccess(QString iniFilePath, Dialogs* dialogs)
    : iniFilePath_(std::move(iniFilePath)), dialogs_(dialogs) {}

QString ApiIniFileAccess::ReadOnlyWarningText() {
  return QStringLiteral("設定ﾌｧｲﾙが書きこみ禁止になっています。") + kCrLf +
         QStringLiteral("設定状態を保存する場合はﾌｧｲﾙを書きこみ可にしてOKを押してください。") + kCrLf +
         QStringLiteral("保存しない場合はそのままOKを押してください。") + kCrLf;
}

bool ApiIniFileAccess::ReadIni(const QString& section, QString& value, const std::optional<QString>& key,
                               const QString& file) {
  value = QString();
  const QString path = resolve(file);
  QString buffer;
  if (key) {
    const qsizetype n = IniFile::GetString(section, *key, QString(), buffer, kBufferSize, path);
    if (n <= 0) return false;
    const qsizetype nul = buffer.indexOf(QChar(0));
    value = nul < 0 ? buffer : buffer.left(nul);
    return true;
  }
  const qsizetype n = IniFile::GetSection(section, buffer, kBufferSize, path);
  if (n <= 0) return false;
  const qsizetype pair = buffer.indexOf(QStringView(u"\0\0", 2));
  if (pair >= 0) buffer.truncate(pair);
  while (buffer.endsWith(QChar(0))) buffer.chop(1);
  value = buffer;
  return true;
}

bool ApiIniFileAccess::WriteIni(const QString& section, const QString& value, const std::optional<QString>& key,
                                const QString& file, bool compact) {
  const QString path = resolve(file);
  if (!CheckIniWritable(path)) AtomicFile::Write(path, QByteArray(), AtomicFile::Existing::MayCreate, 0600);
  if (key) return IniFile::WriteString(section, *key, value, path);
  const bool ok = IniFile::WriteSection(section, value, path);
  if (ok && compact) CompactIniSection(withoutNul(path), withoutNul(section));
  return ok;
}

bool ApiIniFileAccess::CheckIniWritable(const QString& file) {
  const QFileInfo info(file);
  if (!info.exists() || info.isDir()) return false;
  if (!examined_.contains(file)) {
    examined_.insert(file);
    if (AtomicFile::IsReadOnly(file) && dialogs_)
      dialogs_->Message(ReadOnlyWarningText(), QStringLiteral("たかぽすと"), Dialogs::Icon::Exclamation,
                        Dialogs::Buttons::Ok);
  }
  return true;
}

void ApiIniFileAccess::CompactIniSection(const QString& file, const QString& section) {
  bool ok = true;
  const QStringList lines = IniFile::ReadLines(file, &ok);
  if (!ok) return;
  const QString header = QLatin1Char('[') + section + QLatin1Char(']');
  const qsizetype j = lines.indexOf(header);
  if (j < 0) return;
  qsizetype k = lines.size();
  for (qsizetype i = j + 1; i < lines.size(); ++i) {
    if (lines[i].startsWith(QLatin1Char('[')) && lines[i].endsWith(QLatin1Char(']'))) {
      k = i;
      break;
    }
  }
  QStringList kept;
  for (qsizetype i = j + 1; i < k; ++i) {
    bool later = false;
    for (qsizetype m = i + 1; m < k && !later; ++m) later = lines[m] == lines[i];
    if (!later) kept << lines[i];
  }
  if (kept.isEmpty())
    kept << QString();
  else if (!kept.first().isEmpty())
    kept << QString();
  QStringList out = lines.mid(0, j + 1);
  out << kept << lines.mid(k);
  IniFile::WriteLines(file, out);
}

void EnsureArray(QStringList& array, const std::optional<QString>& first) {
  if (!array.isEmpty()) return;
  array << first.value_or(QString());
}
