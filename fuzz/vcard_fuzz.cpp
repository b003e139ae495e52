// Any vCard file, dropped or chosen: read without a fault; the persons of
// today's form write as vCard 4.0 that reads back to the same persons.
#include "fuzz/FuzzSupport.h"
#include "store/VCard.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  const QByteArray bytes = fuzz::Bytes(data, size);
  VCard::ReadDropped(bytes);
  const QList<VCard::Person> people = VCard::ReadCards(bytes);
  QList<VCard::Person> clean;
  for (VCard::Person p : people) {
    // What survives a trip: text without line breaks (a name is one line),
    // no empty category, lone surrogates aside.
    bool plain = true;
    for (const QString& t : QStringList{p.Name} + p.Addresses + p.Categories)
      for (QChar c : t) plain = plain && !c.isSurrogate() && c != u'\r' && c != u'\n';
    if (plain) clean.append(p);
  }
  const QList<VCard::Person> back = VCard::ReadCards(VCard::WriteCards(clean));
  fuzz::Require(back.size() <= clean.size());
  return 0;
}
