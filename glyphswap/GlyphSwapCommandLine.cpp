#include "glyphswap/GlyphSwapCommandLine.h"

GlyphSwapCommandLine GlyphSwapCommandLine::Parse(const QString& commandLine) {
  GlyphSwapCommandLine out;
  QString line = commandLine.trimmed();
  if (line.isEmpty()) return out;
  if (line.endsWith(QStringLiteral("-1"))) line = line.chopped(2).trimmed();
  QStringList pieces = line.split(u' ');
  out.Title = pieces.takeLast();
  out.Path = pieces.join(u' ').trimmed();
  out.Empty = false;
  return out;
}

GlyphSwapCommandLine GlyphSwapCommandLine::FromArguments(const QStringList& arguments) {
  return Parse(arguments.join(u' '));
}
