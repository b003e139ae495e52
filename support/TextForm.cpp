#include "support/TextForm.h"

namespace TextForm {
namespace {

bool isLineSeparator(char16_t c) { return c == 0x2028 || c == 0x2029 || c == 0x0085 || c == 0x000B || c == 0x000C; }

}  // namespace

char16_t PlainSpace(char16_t c) {
  switch (c) {
    case 0x00A0:
    case 0x1680:
    case 0x202F:
    case 0x205F:
      return u' ';
    default:
      return (c >= 0x2000 && c <= 0x200A) ? u' ' : c;
  }
}

QString BodyText(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (isLineSeparator(c)) {
      out += QStringLiteral("\r\n");
    } else {
      out += QChar(PlainSpace(c));
    }
  }
  return out;
}

bool HasControl(QStringView text) {
  for (QChar c : text)
    if (IsControl(c)) return true;
  return false;
}

QString FieldText(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) out += isLineSeparator(c.unicode()) ? QChar(u' ') : QChar(PlainSpace(c.unicode()));
  return out;
}

}  // namespace TextForm
