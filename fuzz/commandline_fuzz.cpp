// GlyphSwap's command line, whatever a caller passes: read without a fault;
// anything but blanks names a table and a title, and the title is one word.
#include "fuzz/FuzzSupport.h"
#include "glyphswap/GlyphSwapCommandLine.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 8 * 1024) return 0;
  const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
  const GlyphSwapCommandLine line = GlyphSwapCommandLine::Parse(text);
  fuzz::Require(line.Empty == text.trimmed().isEmpty());
  if (!line.Empty) fuzz::Require(!line.Title.contains(u' '));
  // The same text as separate arguments (split at NUL) reads as one line with spaces.
  const GlyphSwapCommandLine apart = GlyphSwapCommandLine::FromArguments(text.split(QChar(0)));
  fuzz::Require(apart.Empty == QString(text).replace(QChar(0), u' ').trimmed().isEmpty());
  return 0;
}
