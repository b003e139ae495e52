#pragma once

#include <QString>
#include <QStringView>

// Text as the program keeps it, whatever the input method or the clipboard
// brought: CR LF the only line break, the ASCII space the only space but the
// ideographic one (which is a character of Japanese text in its own right).
namespace TextForm {

// Lines of a body: every Unicode line or paragraph separator (U+2028,
// U+2029, NEL, vertical tab, form feed) becomes CR LF; every other space
// character (no-break, en, em, thin and the like) the ASCII space.
QString BodyText(QStringView text);

// One line of a header field: separators and other spaces become ASCII spaces.
QString FieldText(QStringView text);

// A C0 control character or DEL: never part of a line of text, a setting or
// a command.
inline bool IsControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }
bool HasControl(QStringView text);

// The space a space character stands for: U+0020 for every Unicode space
// but U+3000, which is kept; other characters as they are.
char16_t PlainSpace(char16_t c);

}  // namespace TextForm
