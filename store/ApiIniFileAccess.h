#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class Dialogs;

// The settings file functions of the program: INI reads and writes with a
// 10240-character buffer, the settings file as the default file, a read-only
// warning once per file and run, and duplicate removal after a section write.
class ApiIniFileAccess {
 public:
  static constexpr qsizetype kBufferSize = 10240;

  // iniFilePath is the settings file (the program folder's Tallpost.ini);
  // dialogs shows the read-only warning.
  ApiIniFileAccess(QString iniFilePath, Dialogs* dialogs);

  QString IniFilePath() const { return iniFilePath_; }

  // With a key: the key's value; true when it is present and not empty.
  // Without a key: the section's lines separated by single NULs; true when the
  // section has any.
  bool ReadIni(const QString& section, QString& value, const std::optional<QString>& key = std::nullopt,
               const QString& file = QString());

  // With a key: writes key=value. Without a key: value holds the section's lines
  // separated by NUL and replaces the section; with compact the section is then
  // cleared of repeated lines. A missing file is created first, readable and
  // writable by its owner only (it holds a password).
  bool WriteIni(const QString& section, const QString& value, const std::optional<QString>& key = std::nullopt,
                const QString& file = QString(), bool compact = false);

  // False when the file is missing, cannot be examined or is a folder. The first
  // time a file is examined in a run and found read-only, warns once.
  bool CheckIniWritable(const QString& file);

  // Keeps each distinct line of the section once, at the position of its last copy.
  void CompactIniSection(const QString& file, const QString& section);

  static QString ReadOnlyWarningText();

 private:
  QString resolve(const QString& file) const { return file.isEmpty() ? iniFilePath_ : file; }

  QString iniFilePath_;
  Dialogs* dialogs_;
  QSet<QString> examined_;
};

// Gives an empty list its element 0, holding first when given.
void EnsureArray(QStringList& array, const std::optional<QString>& first = std::nullopt);
