// The engine on any body and any table: every conversion ends, and no text
// is larger than the size reckoned for it beforehand.
//
// Input: three bytes of layout (page lines, line chars, line space, each kept
// small), one byte splitting table from body, the table file's bytes, then
// the body as raw UTF-16 (so unpaired surrogates come too).
#include "fuzz/FuzzSupport.h"
#include "vertical/AppGlyphSwapAccess.h"
#include "vertical/MyTategakiEngine.h"

#include <cstring>

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > 32 * 1024) return 0;
  const int pageLines = data[0] % 40;  // 0 is refused: that is tested too
  const int lineChars = data[1] % 40;
  const int lineSpace = data[2] % 6;
  const std::size_t tableBytes = std::min<std::size_t>(data[3], size - 4);
  GlyphSwapTable table;
  DecodeGlyphSwapData(fuzz::Bytes(data + 4, tableBytes), table);
  const std::size_t rest = size - 4 - tableBytes;
  QString body(static_cast<qsizetype>(rest / 2), Qt::Uninitialized);
  std::memcpy(body.data(), data + 4 + tableBytes, (rest / 2) * 2);
  static MyTategakiEngine engine;
  for (int mode : {MyTategakiEngine::kWideMode, MyTategakiEngine::kTabMode}) {
    const QString out = engine.ConvertToVertical(body, pageLines, lineChars, QStringLiteral("－"), table, mode,
                                                 lineSpace, true, QStringLiteral(">"));
    if (engine.ConversionRefused()) fuzz::Require(out.isEmpty());
    // The size reckoned before converting is never less than what is made.
    fuzz::Require(out.size() <= MyTategakiEngine::OutputBound(body, pageLines, lineChars, lineSpace,
                                                              MyTategakiEngine::LongestSubstitute(table), 1));
  }
  return 0;
}
