#include "mail/ServiceJisSjis.h"

#include "support/Cp932.h"
#include "vertical/WidthConversion.h"

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

template <bool kMergeRuns>
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
  QByteArray out;
  out.reserve(text.size() * 2 + 16);
  bool inTwoByte = false;
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  std::uint8_t pair[2];
  for (; p < end; ++p) {
    char16_t c = *p;
    // A surrogate pair is one character CP932 does not have.
    if (QChar::isHighSurrogate(c) && p + 1 < end && QChar::isLowSurrogate(p[1])) ++p;
    if (twoByte(c, pair)) {
      if (!inTwoByte) {
        out.append(kToTwoByte, 3);
        inTwoByte = true;
      }
      out.append(static_cast<char>(pair[0]));
      out.append(static_cast<char>(pair[1]));
      if (!kMergeRuns) {
        out.append(kToAscii, 3);
        inTwoByte = false;
      }
    } else {
      if (inTwoByte) {
        out.append(kToAscii, 3);
        inTwoByte = false;
      }
      out.append(static_cast<char>(c));
    }
  }
  if (inTwoByte) out.append(kToAscii, 3);
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

QByteArray ToJis(QStringView text) { return convert<true>(text); }

QByteArray ToJisEachCharacter(QStringView text) { return convert<false>(text); }

}  // namespace ServiceJisSjis
