#pragma once

#include <QString>
#include <QStringList>

// The Windows private-profile (INI) functions, for a platform that has none.
// Behaviour, as the Windows functions document it:
// - files are CP932 text with CR LF line ends; a missing file reads as empty and
//   is created by the first write;
// - section and key names compare without regard to case; spaces around the
//   section name inside "[ ]", around a key and around a value are ignored;
// - a line without "=" is a plain line: it is never a key, but it belongs to its
//   section and is returned by a section read;
// - the first section of a name is the one read and written;
// - a string read copies at most bufferSize - 1 characters, a section read at most
//   bufferSize - 2 (then the closing pair of NULs);
// - a key write replaces the key's line or adds one after the section's last
//   non-empty line; a section write replaces every line of the section.
// Every write replaces the file atomically.
namespace IniFile {

// GetPrivateProfileString: the key's value, or defaultValue when the key is
// absent. Returns the number of characters placed in value.
qsizetype GetString(const QString& section, const QString& key, const QString& defaultValue, QString& value,
                    qsizetype bufferSize, const QString& file);

// GetPrivateProfileSection: every non-empty line of the section, each followed by
// NUL, the whole followed by one more NUL. Returns the number of characters
// placed in value, the final NUL not counted (0 for a missing or empty section).
qsizetype GetSection(const QString& section, QString& value, qsizetype bufferSize, const QString& file);

// WritePrivateProfileString. Each name ends at its first NUL, as in C.
bool WriteString(const QString& section, const QString& key, const QString& value, const QString& file);

// WritePrivateProfileSection: lines separated by NUL, ended by an empty line
// (double NUL) or by the end of the text.
bool WriteSection(const QString& section, const QString& lines, const QString& file);

// The file as lines (CP932 decoded, line ends removed); empty for a missing file.
QStringList ReadLines(const QString& file, bool* ok = nullptr);

// Writes the lines, each followed by CR LF, in CP932.
bool WriteLines(const QString& file, const QStringList& lines);

// Gathers every write to one file until Commit(), which replaces the file
// once: a program ended halfway through saving its settings leaves the old
// file or the new one, never a mix. Reads in between see the gathered lines.
class Batch {
 public:
  explicit Batch(const QString& file);
  ~Batch();  // without Commit(), the gathered writes are dropped
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  bool Commit();

 private:
  QString file_;
  bool open_ = false;
};

}  // namespace IniFile
