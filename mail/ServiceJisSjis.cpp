#include "mail/ServiceJisSjis.h"

#include "support/Cp932.h"
#include "vertical/WidthConversion.h"

#include <vector>

namespace ServiceJisSjis {
namespace {

constexpr char kToTwoByte[] = "\x1B$B";
constexpr char kToAscii[] = "\x1B(B";
// 〓, for characters JIS X 0208 cannot hold: never an 8-bit byte in the output.
constexpr std::uint8_t kGeta[2] = {0x22, 0x2E};

// The JIS pair of one UTF-16 unit, or false when it is a one-byte (ASCII) character.
bool twoByte(char16_t c, std::uint8_t pair[2]) {
  const std::uint16_t code = Cp932::CodeOf(c);
  if (code < 0x80) return false;
  if (code == Cp932::kNoCode || code < 0x100) {
    pair[0] = kGeta[0];
    pair[1] = kGeta[1];
    return true;
  }
  std::uint8_t lead = static_cast<std::uint8_t>(code >> 8);
  std::uint8_t trail = static_cast<std::uint8_t>(code & 0xFF);
  PairToJis(lead, trail);
  if (lead == 0) {
    lead = kGeta[0];
    trail = kGeta[1];
  }
  pair[0] = lead;
  pair[1] = trail;
  return true;
}

// Every UTF-16 unit's JIS form, worked out once: below 0x80 the ASCII byte,
// otherwise the pair as lead * 256 + trail.
const std::uint16_t* jisTable() {
  static const std::vector<std::uint16_t> table = [] {
    std::vector<std::uint16_t> t(0x10000);
    std::uint8_t pair[2];
    for (std::uint32_t u = 0; u < 0x10000; ++u)
      t[u] = twoByte(static_cast<char16_t>(u), pair)
                 ? static_cast<std::uint16_t>(pair[0] << 8 | pair[1])
                 : static_cast<std::uint16_t>(Cp932::CodeOf(static_cast<char16_t>(u)));
    return t;
  }();
  return table.data();
}

inline char* put3(char* w, const char* s) {
  w[0] = s[0];
  w[1] = s[1];
  w[2] = s[2];
  return w + 3;
}

QByteArray convert(QStringView input) {
  if (input.isEmpty()) return {};
  QString widened;
  QStringView text = input;
  for (QChar c : input) {
    if (c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F) {
      widened = WidthConversion::KanaToWide(input);
      text = widened;
      break;
    }
  }
  const std::uint16_t* jis = jisTable();
  // At most an escape and a pair per character, and the escape back at the
  // end; pages that are not written are never touched.
  QByteArray out(text.size() * 5 + 3, Qt::Uninitialized);
  char* w = out.data();
  bool inTwoByte = false;
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  for (; p < end; ++p) {
    char16_t c = *p;
    // A surrogate pair is one character CP932 does not have.
    if (QChar::isHighSurrogate(c) && p + 1 < end && QChar::isLowSurrogate(p[1])) ++p;
    const std::uint16_t code = jis[c];
    if (code >= 0x100) {
      if (!inTwoByte) {
        w = put3(w, kToTwoByte);
        inTwoByte = true;
      }
      w[0] = static_cast<char>(code >> 8);
      w[1] = static_cast<char>(code & 0xFF);
      w += 2;
    } else {
      if (inTwoByte) {
        w = put3(w, kToAscii);
        inTwoByte = false;
      }
      *w++ = static_cast<char>(code);
    }
  }
  if (inTwoByte) w = put3(w, kToAscii);
  out.truncate(w - out.constData());
  return out;
}

}  // namespace

void PairToJis(std::uint8_t& lead, std::uint8_t& trail) {
  int d;
  if (lead >= 0x81 && lead <= 0x9F)
    d = lead - 0x81;
  else if (lead >= 0xE0 && lead <= 0xEF)
    d = lead - 0xC1;
  else {
    lead = trail = 0;
    return;
  }
  int c;
  if (trail >= 0x40 && trail <= 0x7E)
    c = trail - 0x3F;
  else if (trail >= 0x80 && trail <= 0xFC)
    c = trail - 0x40;
  else {
    lead = trail = 0;
    return;
  }
  int row = 2 * d + 1;
  int cell = c;
  if (cell > 94) {
    cell -= 94;
    ++row;
  }
  lead = static_cast<std::uint8_t>(row + 0x20);
  trail = static_cast<std::uint8_t>(cell + 0x20);
}

QByteArray ToJis(QStringView text) { return convert(text); }

}  // namespace ServiceJisSjis
