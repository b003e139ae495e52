#pragma once

#include "store/MailStore.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Changes of the mail index made durable without rewriting MailIndex.dat:
// each change is appended to MailBox/MailIndex.jnl and synced to disk, and
// the journal is folded into MailIndex.dat (written whole, atomically) at
// start-up, at quiet moments and at shut-down, after which it is removed. So
// a save or a send costs the same at any size of the store, and
// MailIndex.dat keeps the form every reader of it knows.
//
// The journal also records the moment a message is handed over for good:
// just before the "." that ends its text goes to the server, "commit begun";
// once the server has answered, "accepted" or "refused". A commit that began
// and never ended belongs to a run that was cut off while the server was
// deciding: the server may have taken the message, so the mail counts as sent
// and is never offered for sending again.
struct JournalRecord {
  enum class Kind { Entry, CommitBegun, Accepted, Refused };
  Kind Type = Kind::Entry;
  MailIndexEntry Entry;  // Kind::Entry
  std::int32_t Seq = 0;  // the others
  QString Address;       // one address's copy in TOE mode; empty for the whole mail

  static JournalRecord Of(const MailIndexEntry& entry);
  static JournalRecord Commit(Kind type, std::int32_t seq, const QString& address = QString());
};

// The journal file itself.
class IndexJournal {
 public:
  explicit IndexJournal(QString mailBoxFolder);

  QString Path() const;
  bool Exists() const;
  // Appends the records as one write and (with sync) syncs it. False when
  // they are not on disk.
  bool Append(const QList<JournalRecord>& records, bool sync = true) const;
  bool Remove() const;

  // What a replay found besides entries.
  struct Replay {
    int Entries = 0;
    // Whole mails whose commit had begun and never ended: now in 送信済み.
    QList<std::int32_t> InDoubt;
    // Per mail, the TOE addresses that got their copy (or may have: their
    // commit began and never ended).
    QHash<std::int32_t, QStringList> Delivered;
    QHash<std::int32_t, QStringList> DeliveredInDoubt;
  };
  // Applies the journal to index, as read from MailIndex.dat. Lines cut short
  // or damaged (the end of a write a crash interrupted) are passed over.
  Replay ApplyTo(MailIndex& index) const;

  // One record as a journal line, and its reading.
  static QByteArray EncodeRecord(const JournalRecord& record);
  static bool DecodeRecord(QByteArrayView line, JournalRecord& record);

 private:
  QString folder_;
};

// Keeps the index on disk in step with the one in memory, which is the one
// that counts: a change that could not be written stays in memory, is written
// with the next change, and at the latest by the fold at shut-down.
class IndexKeeper {
 public:
  explicit IndexKeeper(QString mailBoxFolder);

  // The journal's changes and a lost-index recovery are applied to index and
  // folded into MailIndex.dat.
  IndexJournal::Replay Load(MailIndex& index, int* recovered);

  // The index as a start would find it: MailIndex.dat with the journal
  // applied; nothing is written. False when there is neither.
  bool ReadDurable(MailIndex& index) const;

  // Makes the entries changed (and the extra records) durable, with every
  // change that could not be written before. False when they are not.
  // Without sync the records reach the disk in the system's own time: only
  // for changes a crash could not make wrong (a commit's acceptance, which a
  // lost record turns into "in doubt", and so into the same 送信済み).
  bool Record(const MailIndex& index, const QList<std::int32_t>& changed, const QList<JournalRecord>& extra = {},
              bool sync = true);
  // A commit of mail seq (or of its copy for address) begins.
  bool BeginCommit(std::int32_t seq, const QString& address);

  // The number for a new mail, as MailStore::AllocateMailNumber gives it; the
  // folder is looked through once per run, at Load (this program is the only
  // one that writes there while it runs), not at every save.
  std::int32_t AllocateMailNumber(const MailIndex& index);

  // The mails whose entries changed since the last call (a list refreshes
  // just those).
  QList<std::int32_t> TakeTouched();

  // Writes the whole index and drops the journal; not while a send runs.
  bool Fold(const MailIndex& index);
  // Changes are in the journal that MailIndex.dat does not have yet.
  bool Unfolded() const { return unfolded_; }
  // Changes that are in memory only.
  bool Unsaved() const { return !unsaved_.isEmpty(); }

  // While a send runs, the journal holds its commit records: no fold.
  void SendStarted() { ++sending_; }
  void SendEnded() { --sending_; }
  bool Sending() const { return sending_ > 0; }

  const IndexJournal& Journal() const { return journal_; }

 private:
  MailStore store_;
  IndexJournal journal_;
  QSet<std::int32_t> unsaved_;
  QSet<std::int32_t> touched_;
  std::int64_t highestFile_ = -2;  // -2: not looked at yet
  bool unfolded_ = false;
  int sending_ = 0;
};
