#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One person or group of the address book.
struct AddressEntry {
  QString EntryKey;
  QString ParentKey;
  QString DisplayName;
  QString Addresses;  // a person's addresses joined by ","; empty for a group
  bool IsPerson = false;

  bool operator==(const AddressEntry&) const = default;
};

// The address book in memory. Absent until a record was read or the window
// saved; only a present list is ever written back.
class AddressList {
 public:
  bool IsPresent() const { return entries_.has_value(); }
  // Slots 1..n of the list, as a plain list (slot 1 is element 0).
  const QList<AddressEntry>& Entries() const;
  void Append(const AddressEntry& entry);
  // Replaces the whole list and makes it present (the window's save).
  void Replace(QList<AddressEntry> entries) { entries_ = std::move(entries); }
  void Clear() { entries_.reset(); }

 private:
  std::optional<QList<AddressEntry>> entries_;
};

namespace AddressBook {

constexpr qsizetype kRecordSize = 128;
// The four strings of one entry may take this many bytes in CP932 together.
constexpr qsizetype kMaxTextBytes = kRecordSize - 10;

QString RootKey();   // ":1"
QString RootText();  // "アドレス帳"
QString FileName();  // "address.dat"

// True when the entry fits in one record.
bool Fits(const AddressEntry& entry);
// The record of an entry: 128 bytes, or nothing when it does not fit.
std::optional<QByteArray> EncodeRecord(const AddressEntry& entry);
// Reads the records of a file's bytes; records with an empty key or parent key
// are left out. A record cut short by the end reads the fields it has.
QList<AddressEntry> DecodeRecords(QByteArrayView bytes);

// Fills list from the program folder's address.dat. A missing file is created
// empty and leaves the list absent, as does a file without usable records.
void ReadAddressBook(const QString& programFolder, AddressList& list);
// Writes a present list to address.dat (an absent list leaves the file alone),
// replacing the file in one step. An entry too long for its record is never
// written half (it would spill into the next record): it is left out and the
// result is false.
bool WriteAddressBook(const QString& programFolder, const AddressList& list);

}  // namespace AddressBook
