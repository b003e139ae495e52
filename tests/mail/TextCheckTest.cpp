#include "mail/TextCheck.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

QStringList characters(const QList<TextCheck::Finding>& findings) {
  QStringList out;
  for (const TextCheck::Finding& f : findings) out << f.Character;
  return out;
}

TEST(TextCheck, FindsWhatWouldNotArriveAsTypedAndOffersWhatReadsLikeIt) {
  QList<TextCheck::Finding> findings;
  TextCheck::Scan(s("①の件、㍉単位で。Ⅰ章 髙橋さん 﨑 ｶﾞｲﾄﾞ 😀 café №5"), s("本文"), findings);
  TextCheck::Scan(s("件名の①"), s("件名"), findings);
  EXPECT_EQ(characters(findings),
            (QStringList{s("①"), s("㍉"), s("Ⅰ"), s("髙"), s("﨑"), s("ｶﾞ"), s("ｲ"), s("ﾄﾞ"), s("😀"), s("é"), s("№")}));
  const auto find = [&](const char* c) {
    for (const TextCheck::Finding& f : findings)
      if (f.Character == s(c)) return f;
    return TextCheck::Finding{};
  };
  EXPECT_EQ(find("①").Replacement, s("(1)"));
  EXPECT_EQ(find("①").Places, (QStringList{s("本文"), s("件名")}));
  EXPECT_TRUE(find("①").Storable) << "a mail file can hold it; only the mail cannot";
  EXPECT_EQ(find("㍉").Replacement, s("ミリ"));
  EXPECT_EQ(find("Ⅰ").Replacement, s("I"));
  EXPECT_EQ(find("髙").Replacement, s("高"));
  EXPECT_EQ(find("﨑").Replacement, s("崎"));
  EXPECT_EQ(find("ｶﾞ").Replacement, s("ガ"));
  EXPECT_EQ(find("é").Replacement, s("e"));
  EXPECT_EQ(find("№").Replacement, s("No"));
  EXPECT_EQ(find("😀").Replacement, s("〓"));
  EXPECT_FALSE(find("😀").Storable);
  EXPECT_TRUE(TextCheck::Describe(findings).contains(s("「①」 U+2460　本文・件名　→ (1)")));
}

TEST(TextCheck, JapaneseTextAndTheWaveDashFamilyPassAsTheyAre) {
  QList<TextCheck::Finding> findings;
  TextCheck::Scan(s("縦書きのメール、「かぎ」と〜～‖∥−－—―¢￠£￡¬￢。漢字ABC abc 123 ∵≒√ ┐└｜▼！"), s("本文"),
                  findings);
  TextCheck::Scan(s("\r\n\t"), s("本文"), findings);
  EXPECT_TRUE(findings.isEmpty()) << TextCheck::Describe(findings).toStdString();
}

TEST(TextCheck, AfterReplacingNothingIsLeftToFindWhateverTheText) {
  QRandomGenerator rng(16);
  for (int round = 0; round < 200; ++round) {
    QString text;
    for (int i = 0; i < 40; ++i) {
      char32_t c = 0;
      switch (rng.bounded(4)) {
        case 0:
          c = 0x20 + rng.bounded(0x5F);
          break;
        case 1:
          c = 0x2000 + rng.bounded(0x1000);
          break;  // symbols, circled and roman numbers
        case 2:
          c = 0x4E00 + rng.bounded(0x5200);
          break;  // kanji, the extensions among them
        default:
          c = 0xF900 + rng.bounded(0x700);
          break;  // compatibility forms, half-width kana
      }
      text += QString::fromUcs4(&c, 1);
    }
    const QString replaced = TextCheck::Replace(text);
    QList<TextCheck::Finding> left;
    TextCheck::Scan(replaced, QString(), left);
    ASSERT_TRUE(left.isEmpty()) << TextCheck::Describe(left).toStdString();
  }
}

}  // namespace
