#pragma once

#include <QString>
#include <QStringList>

// What GlyphSwap is started with: the table's path, then one space, then the
// caller's title as one word ("/home/taro/Tallpost/GlyphSwap.dat たかぽすと").
// The path may hold spaces; a trailing "-1" is dropped.
struct GlyphSwapCommandLine {
  QString Path;
  QString Title;
  bool Empty = true;  // nothing given: the program ends without a word

  static GlyphSwapCommandLine Parse(const QString& commandLine);
  // The arguments after the program's name, as a caller passes them: one
  // string as above, or the path and the title apart (Tallpost does that, so
  // that no shell splits a path with spaces): joined with single spaces they
  // read the same.
  static GlyphSwapCommandLine FromArguments(const QStringList& arguments);
};
