#include "store/IndexJournal.h"

#include "store/AppState.h"
#include "support/AtomicFile.h"
#include "support/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <limits>

namespace {

// CRC-32 (IEEE): a line cut short or overwritten by a crash does not pass.
std::uint32_t crc32(QByteArrayView bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (char b : bytes) c = table[(c ^ static_cast<std::uint8_t>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

char kindMark(JournalRecord::Kind kind) {
  switch (kind) {
    case JournalRecord::Kind::Entry:
      return '=';
    case JournalRecord::Kind::CommitBegun:
      return '>';
    case JournalRecord::Kind::Accepted:
      return '+';
    case JournalRecord::Kind::Refused:
      return '-';
  }
  return '?';
}

// Entries far past the index are damage, not mails.
constexpr std::int32_t kMaxGrowth = 1000000;

void addOnce(QStringList& list, const QString& address) {
  if (!list.contains(address, Qt::CaseInsensitive)) list.append(address);
}

}  // namespace

JournalRecord JournalRecord::Of(const MailIndexEntry& entry) {
  JournalRecord r;
  r.Type = Kind::Entry;
  r.Entry = entry;
  r.Seq = entry.Seq;
  return r;
}

JournalRecord JournalRecord::Commit(Kind type, std::int32_t seq, const QString& address) {
  JournalRecord r;
  r.Type = type;
  r.Seq = seq;
  r.Address = address;
  return r;
}

IndexJournal::IndexJournal(QString mailBoxFolder) : folder_(std::move(mailBoxFolder)) {}

QString IndexJournal::Path() const { return QDir(folder_).filePath(QStringLiteral("MailIndex.jnl")); }

bool IndexJournal::Exists() const { return QFileInfo(Path()).isFile(); }

bool IndexJournal::Remove() const { return !Exists() || QFile::remove(Path()); }

QByteArray IndexJournal::EncodeRecord(const JournalRecord& record) {
  QByteArray line(1, kindMark(record.Type));
  if (record.Type == JournalRecord::Kind::Entry) {
    QByteArray entry = EncodeMailIndex({record.Entry});
    entry.chop(2);  // its CR LF
    // A TAB in a field would be taken for the checksum's separator only if it
    // were the last one; it never is, but the index needs none either.
    entry.replace('\t', ' ');
    line += entry;
  } else {
    QString address = record.Address;
    address.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    address.remove(u'\r');
    address.remove(u'\n');
    address.replace(u'\t', u' ');
    line += QByteArray::number(record.Seq) + ",\"" + Cp932::Encode(address) + '"';
  }
  line += '\t' + QByteArray::number(crc32(line), 16).rightJustified(8, '0');
  return line + "\r\n";
}

bool IndexJournal::DecodeRecord(QByteArrayView line, JournalRecord& record) {
  const qsizetype tab = line.lastIndexOf('\t');
  if (tab < 1 || line.size() - tab - 1 != 8) return false;
  bool ok = false;
  const std::uint32_t sum = line.sliced(tab + 1).toByteArray().toUInt(&ok, 16);
  const QByteArrayView body = line.first(tab);
  if (!ok || sum != crc32(body)) return false;
  const QString text = Cp932::Decode(body.sliced(1));
  JournalRecord r;
  switch (body.front()) {
    case '=':
      if (!ParseMailIndexLine(text, r.Entry)) return false;
      r.Type = JournalRecord::Kind::Entry;
      r.Seq = r.Entry.Seq;
      record = r;
      return true;
    case '>':
      r.Type = JournalRecord::Kind::CommitBegun;
      break;
    case '+':
      r.Type = JournalRecord::Kind::Accepted;
      break;
    case '-':
      r.Type = JournalRecord::Kind::Refused;
      break;
    default:
      return false;
  }
  const qsizetype comma = text.indexOf(u',');
  if (comma < 1 || !text.endsWith(u'"') || text.size() < comma + 3 || text[comma + 1] != u'"') return false;
  const qlonglong seq = QStringView(text).first(comma).toLongLong(&ok);
  if (!ok || seq < 0 || seq > std::numeric_limits<std::int32_t>::max()) return false;
  r.Seq = static_cast<std::int32_t>(seq);
  r.Address = text.mid(comma + 2, text.size() - comma - 3);
  r.Address.replace(QStringLiteral("\"\""), QStringLiteral("\""));
  record = r;
  return true;
}

bool IndexJournal::Append(const QList<JournalRecord>& records, bool sync) const {
  if (records.isEmpty()) return true;
  QByteArray bytes;
  for (const JournalRecord& r : records) bytes += EncodeRecord(r);
  QDir().mkpath(folder_);
  return AtomicFile::Append(Path(), bytes, 0600, sync);
}

IndexJournal::Replay IndexJournal::ApplyTo(MailIndex& index) const {
  Replay replay;
  QFile file(Path());
  if (!file.open(QIODevice::ReadOnly)) return replay;
  const QByteArray bytes = file.readAll();
  // Commits that began, by mail and address, until their end is read.
  QList<std::pair<std::int32_t, QString>> open;
  qsizetype at = 0;
  while (at < bytes.size()) {
    const qsizetype end = bytes.indexOf("\r\n", at);
    if (end < 0) break;  // the last line of a write that did not finish
    JournalRecord r;
    const bool ok = DecodeRecord(QByteArrayView(bytes).sliced(at, end - at), r);
    at = end + 2;
    if (!ok) continue;
    if (r.Type == JournalRecord::Kind::Entry) {
      const std::int32_t seq = r.Entry.Seq;
      if (seq < 0 || seq - index.size() > kMaxGrowth) continue;
      while (index.size() <= seq) {
        MailIndexEntry none;
        none.Seq = static_cast<std::int32_t>(index.size());
        none.Date = r.Entry.Date;
        index.append(none);
      }
      index[seq] = r.Entry;
      ++replay.Entries;
      continue;
    }
    const std::pair<std::int32_t, QString> key{r.Seq, r.Address};
    open.removeAll(key);
    if (r.Type == JournalRecord::Kind::CommitBegun) open.append(key);
    if (r.Type == JournalRecord::Kind::Accepted && !r.Address.isEmpty()) addOnce(replay.Delivered[r.Seq], r.Address);
  }
  for (const auto& [seq, address] : open) {
    if (address.isEmpty()) {
      if (!replay.InDoubt.contains(seq)) replay.InDoubt.append(seq);
      if (seq < index.size() && index[seq].MailBox == MailBoxNumber::Outbox) index[seq].MailBox = MailBoxNumber::Sent;
    } else {
      addOnce(replay.Delivered[seq], address);
      addOnce(replay.DeliveredInDoubt[seq], address);
    }
  }
  return replay;
}

// ---------------------------------------------------------------- keeper

IndexKeeper::IndexKeeper(QString mailBoxFolder) : store_(mailBoxFolder), journal_(mailBoxFolder) {}

IndexJournal::Replay IndexKeeper::Load(MailIndex& index, int* recovered) {
  // Looked through now, not at the first save.
  highestFile_ = store_.HighestMailFileNumber();
  int rebuilt = 0;
  store_.ReadMailIndex(index, &rebuilt);
  if (recovered != nullptr) *recovered = rebuilt;
  const bool hadJournal = journal_.Exists();
  IndexJournal::Replay replay = journal_.ApplyTo(index);
  // Copies of a TOE mail that went out before the run was cut off: the mail
  // file keeps them, so that sending the mail again skips their addresses.
  bool kept = true;
  for (auto it = replay.Delivered.cbegin(); it != replay.Delivered.cend(); ++it) {
    const std::int32_t seq = it.key();
    if (seq < 0 || seq >= index.size() || index[seq].MailBox == MailBoxNumber::Sent) continue;
    MailRecord record;
    if (!store_.ReadMailFile(seq, record)) continue;
    bool added = false;
    for (const QString& address : it.value())
      if (!record.Delivered.contains(address, Qt::CaseInsensitive)) {
        record.Delivered.append(address);
        added = true;
      }
    if (added && !store_.WriteMailFile(seq, record)) kept = false;
  }
  unfolded_ = hadJournal;
  if ((hadJournal || rebuilt > 0) && kept) Fold(index);
  return replay;
}

bool IndexKeeper::ReadDurable(MailIndex& index) const {
  MailIndex read;
  const bool file = store_.ReadMailIndex(read);
  if (!file && !journal_.Exists()) return false;
  journal_.ApplyTo(read);
  index = read;
  return true;
}

bool IndexKeeper::Record(const MailIndex& index, const QList<std::int32_t>& changed, const QList<JournalRecord>& extra,
                         bool sync) {
  QSet<std::int32_t> seqs = unsaved_;
  for (std::int32_t seq : changed) {
    seqs.insert(seq);
    touched_.insert(seq);
  }
  QList<std::int32_t> ordered(seqs.cbegin(), seqs.cend());
  std::sort(ordered.begin(), ordered.end());
  QList<JournalRecord> records;
  for (std::int32_t seq : ordered)
    if (seq >= 0 && seq < index.size()) records.append(JournalRecord::Of(index[seq]));
  records += extra;
  if (journal_.Append(records, sync)) {
    unsaved_.clear();
    unfolded_ = true;
    return true;
  }
  unsaved_ = seqs;
  return false;
}

bool IndexKeeper::BeginCommit(std::int32_t seq, const QString& address) {
  if (!journal_.Append({JournalRecord::Commit(JournalRecord::Kind::CommitBegun, seq, address)})) return false;
  unfolded_ = true;
  return true;
}

std::int32_t IndexKeeper::AllocateMailNumber(const MailIndex& index) {
  if (highestFile_ == -2) highestFile_ = store_.HighestMailFileNumber();
  const std::int32_t next = MailStore::NextMailNumber(index, highestFile_);
  // Taken from now on, whether or not its file gets written.
  if (next >= 0) highestFile_ = next;
  return next;
}

QList<std::int32_t> IndexKeeper::TakeTouched() {
  QList<std::int32_t> seqs(touched_.cbegin(), touched_.cend());
  touched_.clear();
  std::sort(seqs.begin(), seqs.end());
  return seqs;
}

bool IndexKeeper::Fold(const MailIndex& index) {
  if (sending_ > 0) return false;
  if (index.isEmpty()) return !unfolded_ || journal_.Remove();
  if (!store_.WriteMailIndex(index)) return false;
  unsaved_.clear();
  unfolded_ = !journal_.Remove();
  return !unfolded_;
}
