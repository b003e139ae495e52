#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>

// One line of the mail index: what the main window lists for a mail.
struct MailIndexEntry {
  std::int32_t Seq = 0;
  QString To;
  QString Subject;
  QDateTime Date;
  std::int32_t MailBox = 0;
  bool HasAttachment = false;
};

// Element i describes mail number i.
using MailIndex = QList<MailIndexEntry>;

struct AttachmentRecord {
  QString Name;
  // The file's data as base64 lines (ASCII), kept as bytes.
  QByteArray Content;
};

// One mail file.
struct MailRecord {
  std::int32_t Seq = 0;
  std::int32_t MailBox = 0;
  QString To;
  QString Cc;
  QString Bcc;
  QString Subject;
  QDateTime Date;
  QString BodyText;
  QString VerticalText;
  std::int16_t Separator = 0;
  std::int32_t PageLines = 0;
  std::int32_t LineChars = 0;
  std::int16_t LineSpace = 0;
  QList<AttachmentRecord> Attachments;
};

// The mails on disk: one CP932 text file per mail, "<Seq>.vml", and the index
// "MailIndex.dat", both in the MailBox folder. Every write replaces the whole
// file at once, so a crash or a full disk leaves the previous version.
class MailStore {
 public:
  explicit MailStore(QString mailBoxFolder);

  const QString& Folder() const { return folder_; }
  QString MailFilePath(std::int32_t seq) const;
  QString IndexPath() const;

  // Reads the index into index, resized to the lines read. A missing or empty
  // index file leaves index as it was and returns false. A line that cannot be
  // read keeps its place: its entry is rebuilt from that mail's file, or, when
  // the file cannot be read either, becomes an empty entry in the trash.
  // repairedLines (when given) receives how many lines were rebuilt that way.
  bool ReadMailIndex(MailIndex& index, int* repairedLines = nullptr) const;
  // Writes every entry; refuses an empty index.
  bool WriteMailIndex(const MailIndex& index) const;

  bool WriteMailFile(std::int32_t seq, const MailRecord& record) const;
  bool ReadMailFile(std::int32_t seq, MailRecord& record) const;

  // The number for a new mail: one past the largest number in the index and
  // past every mail file already in the folder, so that a lost or stale index
  // never leads to an existing mail being overwritten. -1 when no number is left.
  std::int32_t AllocateMailNumber(const MailIndex& index) const;
  // The index entry that mail file seq describes; without a readable file, an
  // entry of mailbox 0 (listed nowhere) dated now.
  MailIndexEntry EntryFromMailFile(std::int32_t seq) const;

 private:
  QString folder_;
};

// The index file's text and its reading, apart from the disk.
QByteArray EncodeMailIndex(const MailIndex& index);
// One index line; false when the line is damaged.
bool ParseMailIndexLine(QStringView line, MailIndexEntry& entry);

// The mail file's bytes for the given boundary, and their reading. ParseMailFile
// gives the user interface a turn as it goes, as a long read must.
QByteArray EncodeMailFile(const MailRecord& record, const QString& boundary);
bool ParseMailFile(QByteArrayView bytes, MailRecord& record);

// "0__=" and three readings of the clock (milliseconds since midnight) as
// single-precision numbers.
QString MailFileBoundary();

// Date texts: the mail file's "Date: " value (local time, to the second) and
// the index's value between number signs.
QString MailFileDateText(const QDateTime& date);
QString MailIndexDateText(const QDateTime& date);

// When line starts with prefix: stores the rest of the line in target (numbers
// as decimal text, the date as a mail-file date) and returns true; converted
// (when given) tells whether the value could be converted. Otherwise returns
// false and leaves target alone.
bool MatchHeaderLine(QStringView line, QStringView prefix, QString& target);
bool MatchHeaderLine(QStringView line, QStringView prefix, std::int32_t& target, bool* converted = nullptr);
bool MatchHeaderLine(QStringView line, QStringView prefix, std::int16_t& target, bool* converted = nullptr);
bool MatchHeaderLine(QStringView line, QStringView prefix, QDateTime& target, bool* converted = nullptr);

// text without its LF, CR and TAB characters.
QString StripControlChars(QStringView text);
