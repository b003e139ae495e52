#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class ApiIniFileAccess;
struct AppState;

// The [Setting] section in memory, under the key names of the file.
struct AppSettings {
  QString Title;
  QString Account;
  QString Passwd;
  QString Email;
  QString FullName;
  QString SmtpServer;
  std::int32_t SmtpPort = 25;
  QString PopServer;
  std::int32_t PopPort = -1;
  std::int32_t PageLines = 0;
  std::int32_t LineChars = 0;
  std::int16_t LineSpace = 0;
  std::int32_t SaveBcc = 0;    // parsed as 16-bit
  std::int32_t Separator = 0;  // parsed as 16-bit
  std::int32_t ShowMeter = 0;  // parsed as 16-bit
  // Keys of this program only, after the ones above: the connection to the
  // SMTP server (SecurityNone, SecurityStartTls, SecurityTls) and whether to
  // log in to it with Account and Passwd (0 no, 1 yes).
  std::int32_t Security = 0;  // parsed as 16-bit
  std::int32_t SmtpAuth = 0;  // parsed as 16-bit

  bool operator==(const AppSettings&) const = default;
};

enum : std::int32_t { SecurityNone = 0, SecurityStartTls = 1, SecurityTls = 2 };

// A setting as one plain line: every control character (line breaks, TAB and
// the others) taken out, spaces around it trimmed. Nothing the user types in
// the settings reaches a server as a command of its own.
QString SettingText(const QString& text);
void CleanSettings(AppSettings& settings);

// Entry 0 of every separator list: no separator text.
QString NoSeparatorText();

// Reads [Setting] and [Separator] into state, then the character table from
// state.GlyphSwapPath. False when the table cannot be loaded (the caller ends
// the program). A number that is not numeric text, or does not fit its key,
// keeps the value the key had.
bool LoadSettings(AppState& state, ApiIniFileAccess& ini);

// Writes [Setting] and [Separator] from state as one replacement of the
// file, then the character table. True when every write succeeded.
bool SaveSettings(const AppState& state, ApiIniFileAccess& ini);

// The sending settings are incomplete: the settings window must be filled in.
bool FirstRunCheckNeeded(const AppSettings& settings);
