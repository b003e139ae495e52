#include "support/Cp932.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> b) {
  QByteArray out;
  for (int v : b) out.append(static_cast<char>(v));
  return out;
}

TEST(Cp932, JapaneseTextRoundTrips) {
  const QString text = QStringLiteral("縦書のメールｶﾀｶﾅ、ＡＢＣabc①Ⅲ㈱");
  const QByteArray encoded = Cp932::Encode(text);
  EXPECT_EQ(Cp932::Decode(encoded), text);
  EXPECT_EQ(Cp932::Encode(QStringLiteral("あ")), bytes({0x82, 0xA0}));
  EXPECT_EQ(Cp932::Encode(QStringLiteral("ｱ")), bytes({0xB1}));
}

TEST(Cp932, NulAndAsciiPassThrough) {
  const QString text = QStringLiteral("A") + QChar(0) + QStringLiteral("B");
  EXPECT_EQ(Cp932::Encode(text), bytes({0x41, 0x00, 0x42}));
  EXPECT_EQ(Cp932::Decode(bytes({0x41, 0x00, 0x82, 0xA0})), QStringLiteral("A") + QChar(0) + QStringLiteral("あ"));
}

TEST(Cp932, UnrepresentableCharactersBecomeQuestionMarks) {
  // 한 (Hangul) and an emoji outside the BMP: one "?" each, the rest intact.
  const QString text = QStringLiteral("あ한い") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("う");
  EXPECT_EQ(Cp932::Decode(Cp932::Encode(text)), QStringLiteral("あ?い?う"));
}

TEST(Cp932, InvalidBytesReadAsQuestionMarks) {
  // 0x80 is no lead byte; 0x82 at the end lacks its trail byte.
  EXPECT_EQ(Cp932::Decode(bytes({0x41, 0x80, 0x82, 0xA0, 0x82})), QStringLiteral("A?あ?"));
}

TEST(Cp932, MicrosoftMappingOfTheWaveDashPairs) {
  EXPECT_EQ(Cp932::Decode(bytes({0x81, 0x60})), QString(QChar(0xFF5E)));
  EXPECT_EQ(Cp932::Encode(QString(QChar(0x301C))), bytes({0x81, 0x60}));
  EXPECT_EQ(Cp932::Encode(QString(QChar(0xFF5E))), bytes({0x81, 0x60}));
  for (char16_t c : {u'〜', u'‖', u'−', u'¢', u'£', u'¬', u'—'}) {
    const QString one(QChar{c});
    EXPECT_EQ(Cp932::Decode(Cp932::Encode(one)), QString(QChar(Cp932::FoldToCp932Form(c))));
    EXPECT_NE(Cp932::FoldToCp932Form(c), c);
    EXPECT_TRUE(Cp932::CanEncode(one));
  }
  EXPECT_EQ(Cp932::FoldToCp932Form(u'あ'), u'あ');
}

TEST(Cp932, CanEncodeTellsCharactersThatWouldBeLost) {
  EXPECT_TRUE(Cp932::CanEncode(QStringLiteral("｜∩┐")));
  EXPECT_FALSE(Cp932::CanEncode(QStringLiteral("゠")));
  EXPECT_FALSE(Cp932::CanEncode(QString(QChar(0xFE31))));  // vertical presentation form
}

TEST(Cp932, LongTextsConvertCompletely) {
  QString text;
  for (int i = 0; i < 20000; ++i) text += QStringLiteral("漢字かなカナ");
  const QByteArray encoded = Cp932::Encode(text);
  EXPECT_EQ(encoded.size(), text.size() * 2);
  EXPECT_EQ(Cp932::Decode(encoded), text);
}

}  // namespace
