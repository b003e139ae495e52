// Any N.vml: read or refused without a fault.
#include "fuzz/FuzzSupport.h"
#include "store/MailStore.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MailRecord record;
  ParseMailFile(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), record);
  return 0;
}
