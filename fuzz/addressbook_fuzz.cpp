// Any address.dat: the records read without a fault, and every record read
// that fits writes as one 128-byte record.
#include "fuzz/FuzzSupport.h"
#include "store/AddressBook.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QList<AddressEntry> entries =
      AddressBook::DecodeRecords(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  for (const AddressEntry& e : entries) {
    const auto record = AddressBook::EncodeRecord(e);
    if (record) fuzz::Require(record->size() == AddressBook::kRecordSize);
  }
  return 0;
}
