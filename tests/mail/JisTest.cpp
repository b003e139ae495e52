#include "mail/ServiceJisSjis.h"
#include "mail/clsMakeMail.h"

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

TEST(ToJis, EachCharacterGetsItsOwnBracketInTheWholeTextForm) {
  clsMakeMail m;
  EXPECT_EQ(m.JisConvEx(s("あい")), esc("~$B$\"~(B~$B$$~(B"));
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

TEST(EncodeWord, BEncodingOfTheConvertedText) {
  EXPECT_EQ(clsMakeMail::EncodeWord({}), QByteArray("=?ISO-2022-JP?B?" "?="));
  EXPECT_EQ(clsMakeMail::EncodeWord(ServiceJisSjis::ToJis(s("あい"))), QByteArray("=?ISO-2022-JP?B?GyRCJCIkJBsoQg==?="));
  EXPECT_EQ(clsMakeMail::EncodeWord("abc"), QByteArray("=?ISO-2022-JP?B?YWJj?="));
}

}  // namespace
