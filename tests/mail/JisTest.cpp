#include "mail/ServiceJisSjis.h"
#include "mail/clsMakeMail.h"
#include "support/Cp932.h"

#include <iconv.h>

#include <gtest/gtest.h>

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }
QByteArray esc(const char* text) {
  QByteArray b(text);
  b.replace('~', '\x1B');  // "~" stands for ESC in these expectations
  return b;
}

TEST(PairToJis, ArithmeticMappingAndItsEdges) {
  std::uint8_t l = 0x82, t = 0xA0;  // あ
  ServiceJisSjis::PairToJis(l, t);
  EXPECT_EQ(l, 0x24);
  EXPECT_EQ(t, 0x22);
  l = 0x81, t = 0x9E;  // cell 94 of the odd row, no wrap
  ServiceJisSjis::PairToJis(l, t);
  EXPECT_EQ(l, 0x21);
  EXPECT_EQ(t, 0x7E);
  l = 0x81, t = 0x9F;  // cell 1 of the next row
  ServiceJisSjis::PairToJis(l, t);
  EXPECT_EQ(l, 0x22);
  EXPECT_EQ(t, 0x21);
  l = 0xE0, t = 0x40;
  ServiceJisSjis::PairToJis(l, t);
  EXPECT_EQ(l, 0x5F);
  EXPECT_EQ(t, 0x21);
  for (auto [lead, trail] : {std::pair{0xF0, 0x40}, {0xA5, 0x40}, {0x82, 0x3F}, {0x82, 0x7F}, {0x82, 0xFD}}) {
    l = static_cast<std::uint8_t>(lead), t = static_cast<std::uint8_t>(trail);
    ServiceJisSjis::PairToJis(l, t);
    EXPECT_EQ(l, 0) << lead << " " << trail;
    EXPECT_EQ(t, 0);
  }
}

TEST(ToJis, RunsShareOneBracketAndAsciiPasses) {
  EXPECT_EQ(ServiceJisSjis::ToJis(QString()), QByteArray());
  EXPECT_EQ(ServiceJisSjis::ToJis(s("あい")), esc("~$B$\"$$~(B"));
  EXPECT_EQ(ServiceJisSjis::ToJis(s("aあb")), esc("a~$B$\"~(Bb"));
  EXPECT_EQ(ServiceJisSjis::ToJis(s("あ\r\nい")), esc("~$B$\"~(B\r\n~$B$$~(B"));
  EXPECT_EQ(ServiceJisSjis::ToJis(s("Tallpost")), QByteArray("Tallpost"));
}

TEST(ToJis, TheWholeTextFormSharesOneBracketPerRunAndClosesBeforeLineBreaks) {
  clsMakeMail m;
  // Never ESC ( B directly followed by ESC $ B: decoders that follow the
  // encoding standard turn that into a replacement character.
  EXPECT_EQ(m.JisConvEx(s("あい")), esc("~$B$\"$$~(B"));
  EXPECT_EQ(m.JisConvEx(s("あ\r\nい")), esc("~$B$\"~(B\r\n~$B$$~(B"));
  EXPECT_FALSE(m.JisConvEx(s("縦書きの、メールです。")).contains("\x1b(B\x1b$B"));
  EXPECT_EQ(m.JisConvEx(s(".\r\nx")), QByteArray(".\r\nx"));
}

TEST(ToJis, OutputIsSevenBitWhateverTheInput) {
  // Half-width katakana become full-width (ｶﾞ is one ガ); characters without a
  // JIS code (an emoji, a CP932 user-defined or IBM extension character) become 〓.
  EXPECT_EQ(ServiceJisSjis::ToJis(s("ｶﾞｷ")), ServiceJisSjis::ToJis(s("ガキ")));
  clsMakeMail m;
  EXPECT_EQ(m.JisConvEx(s("ｱ")), m.JisConvEx(s("ア")));
  const QByteArray geta = esc("~$B\".~(B");
  EXPECT_EQ(ServiceJisSjis::ToJis(s("😀")), geta);
  EXPECT_EQ(ServiceJisSjis::ToJis(QString(QChar(0xE000))), geta);  // CP932 F040
  for (const QString& text : {s("ｱｲｳ ﾃｽﾄ。"), s("😀と〓"), QString(QChar(0xE000)) + s("x"), s("ⅰⅱ¦")}) {
    for (const QByteArray& out : {ServiceJisSjis::ToJis(text), m.JisConvEx(text)}) {
      for (char c : out) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << text.toStdString();
    }
  }
}

// The system's own ISO-2022-JP converter (JIS X 0208 mapping) as a second
// opinion on every character both sides can hold.
QByteArray systemJis(char16_t c) {
  iconv_t cd = iconv_open("ISO-2022-JP", "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  char out[16];
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 2;
  size_t outLeft = sizeof out;
  QByteArray result;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
      iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1))
    result = QByteArray(out, static_cast<qsizetype>(sizeof out - outLeft));
  iconv_close(cd);
  return result;
}

TEST(ToJis, AgreesWithTheSystemConverterOnEveryJisCharacter) {
  int compared = 0;
  for (std::uint32_t u = 0x80; u < 0x10000; ++u) {
    const char16_t c = static_cast<char16_t>(u);
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    if (u >= 0xFF61 && u <= 0xFF9F) continue;      // half-width kana are widened first
    if (Cp932::FoldToCp932Form(c) != c) continue;  // CP932 and JIS differ on these pairs
    const QByteArray expected = systemJis(c);
    // Only the two-byte set: the system writes a few Latin-1 signs in JIS-Roman.
    if (!expected.startsWith("\x1B$B")) continue;
    ++compared;
    ASSERT_EQ(ServiceJisSjis::ToJis(QStringView(&c, 1)), expected) << std::hex << u;
  }
  EXPECT_GT(compared, 6800);  // the characters of JIS X 0208 outside ASCII
}

TEST(EncodeWord, BEncodingOfTheConvertedText) {
  EXPECT_EQ(clsMakeMail::EncodeWord({}), QByteArray("=?ISO-2022-JP?B?"
                                                    "?="));
  EXPECT_EQ(clsMakeMail::EncodeWord(ServiceJisSjis::ToJis(s("あい"))),
            QByteArray("=?ISO-2022-JP?B?GyRCJCIkJBsoQg==?="));
  EXPECT_EQ(clsMakeMail::EncodeWord("abc"), QByteArray("=?ISO-2022-JP?B?YWJj?="));
}

}  // namespace
