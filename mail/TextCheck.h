#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The characters of a mail that would not arrive as typed: those the mail
// files cannot hold (code page 932 lacks them: emoji, most of Unicode beyond
// JIS), those the mail cannot carry (no JIS X 0208 code: the NEC and IBM
// extensions such as ①, ㍉, №, Ⅰ, 髙, 﨑, and the user-defined area), and
// half-width katakana, which go out full-width. The editor shows them before
// a conversion, a store and a send, with a readable replacement where there
// is one, and the user decides; tallpost-eml --check lists them.
namespace TextCheck {

struct Finding {
  QString Character;     // as typed (a half-width kana with its voiced mark is one)
  QStringList Places;    // where it stands: "宛先", "件名", "本文" ...
  bool Storable = true;  // a mail file can hold it (it is only the mail that cannot)
  QString Replacement;   // what it becomes when replaced; "〓" where nothing reads like it
};

// The characters of text that will not arrive as typed, each once, added to
// findings with place.
void Scan(const QString& text, const QString& place, QList<Finding>& findings);

// The readable replacement of one character, or an empty string.
QString ReplacementOf(const QString& character);

// text with every such character replaced (by "〓" where nothing reads like it).
QString Replace(const QString& text);

// One line per finding: the character, its code, where, and what it becomes.
QString Describe(const QList<Finding>& findings);

}  // namespace TextCheck
