// CP932 text from any file: decoding never fails, and what decodes encodes
// back to text that decodes the same.
#include "fuzz/FuzzSupport.h"
#include "support/Cp932.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = fuzz::Bytes(data, size);
  const QString text = Cp932::Decode(bytes);
  const QByteArray again = Cp932::Encode(text);
  fuzz::Require(Cp932::Decode(again) == Cp932::Decode(Cp932::Encode(Cp932::Decode(again))));
  return 0;
}
