#pragma once

#include <QString>

// The program's version and how the about window writes it.
namespace VersionText {

// "2.1.3": major, minor and revision as decimal numbers.
QString VersionString();

// Every decimal digit of text written as a formal kanji numeral
// (零壱弐参四伍六七八九); other characters are kept: "2.1.3" -> "弐.壱.参".
QString ToFormalKanji(const QString& text);

}  // namespace VersionText
