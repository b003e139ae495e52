#include "store/AddressBook.h"

#include "support/AtomicFile.h"
#include "support/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

const QList<AddressEntry>& AddressList::Entries() const {
  static const QList<AddressEntry> kNone;
  return entries_ ? *entries_ : kNone;
}

void AddressList::Append(const AddressEntry& entry) {
  if (!entries_) entries_.emplace();
  entries_->append(entry);
}

namespace AddressBook {
namespace {

void putLength(QByteArray& out, qsizetype n) {
  out.append(static_cast<char>(n & 0xFF));
  out.append(static_cast<char>((n >> 8) & 0xFF));
}

class RecordReader {
 public:
  explicit RecordReader(QByteArrayView record) : r_(record) {}
  // A length and its string; false (leaving text empty) when the record ends first.
  bool Text(QString& text) {
    if (pos_ + 2 > r_.size()) return false;
    const qsizetype n = static_cast<unsigned char>(r_[pos_]) | static_cast<unsigned char>(r_[pos_ + 1]) << 8;
    pos_ += 2;
    if (pos_ + n > r_.size()) {
      pos_ = r_.size();
      return false;
    }
    text = Cp932::Decode(r_.sliced(pos_, n));
    pos_ += n;
    return true;
  }
  bool Flag(bool& flag) {
    if (pos_ + 2 > r_.size()) return false;
    flag = r_[pos_] != 0 || r_[pos_ + 1] != 0;
    pos_ += 2;
    return true;
  }

 private:
  QByteArrayView r_;
  qsizetype pos_ = 0;
};

QString filePath(const QString& programFolder) { return QDir(programFolder).filePath(FileName()); }

}  // namespace

QString RootKey() { return QStringLiteral(":1"); }
QString RootText() { return QStringLiteral("アドレス帳"); }
QString FileName() { return QStringLiteral("address.dat"); }

std::optional<QByteArray> EncodeRecord(const AddressEntry& e) {
  QByteArray out;
  out.reserve(kRecordSize);
  for (const QString* text : {&e.EntryKey, &e.ParentKey, &e.DisplayName, &e.Addresses}) {
    const QByteArray bytes = Cp932::Encode(*text);
    putLength(out, bytes.size());
    out += bytes;
  }
  const char flag = e.IsPerson ? '\xFF' : '\0';
  out.append(flag);
  out.append(flag);
  if (out.size() > kRecordSize) return std::nullopt;
  out.append(QByteArray(kRecordSize - out.size(), '\0'));
  return out;
}

bool Fits(const AddressEntry& entry) { return EncodeRecord(entry).has_value(); }

QList<AddressEntry> DecodeRecords(QByteArrayView bytes) {
  QList<AddressEntry> out;
  for (qsizetype at = 0; at < bytes.size(); at += kRecordSize) {
    RecordReader r(bytes.sliced(at, std::min(kRecordSize, bytes.size() - at)));
    AddressEntry e;
    (void)(r.Text(e.EntryKey) && r.Text(e.ParentKey) && r.Text(e.DisplayName) && r.Text(e.Addresses) &&
           r.Flag(e.IsPerson));
    if (e.EntryKey.isEmpty() || e.ParentKey.isEmpty()) continue;
    out.append(e);
  }
  return out;
}

void ReadAddressBook(const QString& programFolder, AddressList& list) {
  const QString path = filePath(programFolder);
  QFile file(path);
  if (!QFileInfo::exists(path)) {
    // As the program always has: the book's file exists from the first run on,
    // readable by its owner only (it holds the user's contacts).
    AtomicFile::Write(path, QByteArray(), AtomicFile::Existing::MayCreate, 0600);
    return;
  }
  // A book made readable to others by an earlier version is the owner's again.
  if ((file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) != 0)
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  for (const AddressEntry& e : DecodeRecords(bytes)) list.Append(e);
}

bool WriteAddressBook(const QString& programFolder, const AddressList& list) {
  if (!list.IsPresent()) return true;
  QByteArray bytes;
  bytes.reserve(list.Entries().size() * kRecordSize);
  bool all = true;
  for (const AddressEntry& e : list.Entries()) {
    const std::optional<QByteArray> record = EncodeRecord(e);
    if (record)
      bytes += *record;
    else
      all = false;
  }
  return AtomicFile::Write(filePath(programFolder), bytes, AtomicFile::Existing::MayCreate, 0600) && all;
}

}  // namespace AddressBook
