// Any GlyphSwap.dat: read or refused without a fault; a table that reads
// stores as bytes that read back to the same table.
#include "fuzz/FuzzSupport.h"
#include "vertical/AppGlyphSwapAccess.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  GlyphSwapTable table;
  if (!DecodeGlyphSwapData(fuzz::Bytes(data, size), table) || table.isEmpty()) return 0;
  GlyphSwapTable back;
  const QByteArray stored = EncodeGlyphSwapData(table);
  fuzz::Require(DecodeGlyphSwapData(stored, back));
  fuzz::Require(EncodeGlyphSwapData(back) == stored);
  return 0;
}
