// Any MailIndex.jnl: replayed over an index without a fault, never growing
// the index without bound; a record that reads writes back as itself.
#include "fuzz/FuzzSupport.h"
#include "store/IndexJournal.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = fuzz::Bytes(data, size);
  for (const QByteArray& line : bytes.split('\n')) {
    QByteArray text = line;
    if (text.endsWith('\r')) text.chop(1);
    JournalRecord r;
    if (!IndexJournal::DecodeRecord(text, r)) continue;
    QByteArray again = IndexJournal::EncodeRecord(r);
    again.chop(2);
    JournalRecord back;
    fuzz::Require(IndexJournal::DecodeRecord(again, back));
    fuzz::Require(back.Seq == r.Seq && back.Type == r.Type);
  }
  const QString folder = fuzz::Scratch();
  IndexJournal journal(folder);
  fuzz::WriteFile(journal.Path(), bytes);
  MailIndex index(3);
  journal.ApplyTo(index);
  fuzz::Require(index.size() <= 3 + 1000001);
  return 0;
}
