// Any MailIndex.dat line: read or refused, never a fault; a line that reads
// writes back as a line that reads to the same entry.
#include "fuzz/FuzzSupport.h"
#include "store/MailStore.h"
#include "support/Cp932.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = Cp932::Decode(fuzz::Bytes(data, size));
  for (QStringView line : QStringView(text).split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    MailIndexEntry entry;
    if (!ParseMailIndexLine(line, entry)) continue;
    const QByteArray written = EncodeMailIndex(MailIndex{entry});
    QString again = Cp932::Decode(written);
    while (again.endsWith(u'\n') || again.endsWith(u'\r')) again.chop(1);
    MailIndexEntry back;
    fuzz::Require(ParseMailIndexLine(again, back));
  }
  return 0;
}
