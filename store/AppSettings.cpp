#include "store/AppSettings.h"

#include "store/ApiIniFileAccess.h"
#include "store/AppState.h"
#include "support/AtomicFile.h"
#include "support/IniFile.h"
#include "support/NumericText.h"
#include "support/TextForm.h"

#include <QFileInfo>

namespace {

const QString kSetting = QStringLiteral("Setting");
const QString kSeparator = QStringLiteral("Separator");

void readText(ApiIniFileAccess& ini, const char* key, QString& target) {
  QString value;
  if (ini.ReadIni(kSetting, value, QString::fromLatin1(key))) target = value;
}

void readInt32(ApiIniFileAccess& ini, const char* key, std::int32_t& target) {
  QString value;
  if (!ini.ReadIni(kSetting, value, QString::fromLatin1(key))) return;
  if (const auto n = NumericText::ToInt32(value)) target = *n;
}

template <typename T>
void readInt16(ApiIniFileAccess& ini, const char* key, T& target) {
  QString value;
  if (!ini.ReadIni(kSetting, value, QString::fromLatin1(key))) return;
  if (const auto n = NumericText::ToInt16(value)) target = *n;
}

}  // namespace

QString SettingText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text)
    if (!TextForm::IsControl(c)) out.append(c);
  return out.trimmed();
}

void CleanSettings(AppSettings& s) {
  for (QString* text : {&s.Title, &s.Account, &s.Passwd, &s.Email, &s.FullName, &s.SmtpServer, &s.PopServer})
    *text = SettingText(*text);
}

QString NoSeparatorText() { return QStringLiteral("（使用しない）"); }

bool LoadSettings(AppState& state, ApiIniFileAccess& ini) {
  AppSettings& s = state.Settings;
  // A first start offers a layout that works (the tategaki command's own
  // defaults) rather than zeros the settings window would refuse.
  if (!QFileInfo::exists(state.IniPath)) {
    s.PageLines = 20;
    s.LineChars = 20;
    s.LineSpace = 1;
  }
  readText(ini, "Title", s.Title);
  readText(ini, "Account", s.Account);
  readText(ini, "Passwd", s.Passwd);
  readText(ini, "Email", s.Email);
  readText(ini, "FullName", s.FullName);
  readText(ini, "SmtpServer", s.SmtpServer);
  s.SmtpPort = 25;
  readInt32(ini, "SmtpPort", s.SmtpPort);
  readText(ini, "PopServer", s.PopServer);
  s.PopPort = -1;
  readInt32(ini, "PopPort", s.PopPort);
  readInt32(ini, "PageLines", s.PageLines);
  readInt32(ini, "LineChars", s.LineChars);
  readInt16(ini, "LineSpace", s.LineSpace);
  readInt16(ini, "SaveBcc", s.SaveBcc);
  readInt16(ini, "Separator", s.Separator);
  readInt16(ini, "ShowMeter", s.ShowMeter);
  readInt16(ini, "Security", s.Security);
  if (s.Security < SecurityNone || s.Security > SecurityTls) s.Security = SecurityNone;
  readInt16(ini, "SmtpAuth", s.SmtpAuth);
  s.SmtpAuth = s.SmtpAuth == 1 ? 1 : 0;
  CleanSettings(s);

  QString section;
  QString joined;
  if (ini.ReadIni(kSeparator, section)) {
    joined = NoSeparatorText() + QChar(0) + section + QChar(0) + QChar(0);
    joined.truncate(joined.indexOf(QStringView(u"\0\0", 2)));
  } else {
    joined = NoSeparatorText() + QChar(0);
  }
  state.SeparatorList = joined.split(QChar(0));

  return GetGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap);
}

bool SaveSettings(const AppState& state, ApiIniFileAccess& ini) {
  const AppSettings& s = state.Settings;
  // One replacement of the file for all the writes below.
  if (!ini.CheckIniWritable(ini.IniFilePath()))
    AtomicFile::Write(ini.IniFilePath(), QByteArray(), AtomicFile::Existing::MayCreate, 0600);
  IniFile::Batch batch(ini.IniFilePath());
  const bool popValid = !s.PopServer.isEmpty() && s.PopPort >= 0;
  const auto num = [](std::int64_t v) { return QString::number(v); };
  const std::pair<const char*, QString> values[] = {
      {"Title", s.Title},
      {"LineChars", num(s.LineChars)},
      {"Account", s.Account},
      {"Passwd", s.Passwd},
      {"Email", s.Email},
      {"FullName", s.FullName},
      {"SmtpServer", s.SmtpServer},
      {"SmtpPort", num(s.SmtpPort)},
      {"PopServer", popValid ? s.PopServer : QString()},
      {"PopPort", popValid ? num(s.PopPort) : QString()},
      {"PageLines", num(s.PageLines)},
      {"LineSpace", num(s.LineSpace)},
      {"SaveBcc", num(s.SaveBcc)},
      {"Separator", num(s.Separator)},
      {"ShowMeter", num(s.ShowMeter)},
      {"Security", num(s.Security)},
      {"SmtpAuth", num(s.SmtpAuth)},
  };
  bool ok = true;
  for (const auto& [key, value] : values) ok = ini.WriteIni(kSetting, value, QString::fromLatin1(key)) && ok;

  const QStringList entries = state.SeparatorList.mid(1);
  ok = ini.WriteIni(kSeparator, entries.join(QChar(0)), std::nullopt, QString(), true) && ok;
  ok = batch.Commit() && ok;

  ok = PutGlyphSwapData(state.GlyphSwapPath, state.GlyphSwap) && ok;
  return ok;
}

bool FirstRunCheckNeeded(const AppSettings& s) {
  return s.Passwd.isEmpty() || s.Email.isEmpty() || s.SmtpServer.isEmpty() || s.SmtpPort == -1;
}
