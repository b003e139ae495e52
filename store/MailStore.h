#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
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
  // TOE mode: the To addresses that already got their own copy (a send that
  // was refused for some addresses); sending again skips them.
  QStringList Delivered;
  // The boundary the file was read with: written again while no text holds
  // it, so that storing an unchanged mail writes the same bytes.
  QString Boundary;
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

  // Reads the index into index. A missing or empty index file leaves index as
  // it was and returns false. Each line goes to the number it names (old
  // files may skip numbers, and hold quotes unescaped inside their strings).
  // A line that cannot be read keeps its place and is rebuilt from that
  // mail's file into the drafts; a number no line names is recovered from its
  // mail file into the drafts too, or listed nowhere without one.
  // repairedLines (when given) receives how many mails were recovered.
  bool ReadMailIndex(MailIndex& index, int* repairedLines = nullptr) const;
  // Writes every entry; refuses an empty index.
  bool WriteMailIndex(const MailIndex& index) const;

  bool WriteMailFile(std::int32_t seq, const MailRecord& record) const;
  bool ReadMailFile(std::int32_t seq, MailRecord& record) const;

  // The number for a new mail: one past the largest number in the index and
  // past every mail file already in the folder, so that a lost or stale index
  // never leads to an existing mail being overwritten. -1 when no number is left.
  std::int32_t AllocateMailNumber(const MailIndex& index) const;
  // The same rule with the highest mail file number already known (-1: none).
  static std::int32_t NextMailNumber(const MailIndex& index, std::int64_t highestFile);
  // The index entry that mail file seq describes, in the drafts; without a
  // readable file, an entry of mailbox 0 (listed nowhere) dated now.
  MailIndexEntry EntryFromMailFile(std::int32_t seq) const;
  // The same, in the drafts even without a readable file.
  MailIndexEntry RecoveredEntry(std::int32_t seq) const;
  // The largest number of a mail file in the folder, -1 when there is none.
  std::int64_t HighestMailFileNumber() const;

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

// An attachment's base64 lines without the line ends around them (the mail
// file keeps blank lines around every attachment).
QByteArray TrimmedContent(const QByteArray& content);

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
