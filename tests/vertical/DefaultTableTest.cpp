#include "support/Cp932.h"
#include "vertical/AppGlyphSwapAccess.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

// The JIS X 0208 row (ku) of a two-byte CP932 code, or 0 for a one-byte code.
int jisRow(const QByteArray& sjis) {
  if (sjis.size() != 2) return 0;
  int lead = static_cast<unsigned char>(sjis[0]);
  const int trail = static_cast<unsigned char>(sjis[1]);
  lead = lead >= 0xE0 ? lead - 0xB0 : lead - 0x70;  // rows in pairs
  int row = (lead - 0x11) * 2 + 1;                  // 0x81 -> rows 1 and 2
  if (trail >= 0x9F) ++row;
  return row;
}

class DefaultTable : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetGlyphSwapData(QStringLiteral(TALLPOST_DEFAULT_TABLE), table)); }
  const GlyphSwapEntry* row(const QString& h) const {
    for (const auto& e : table)
      if (e.Horizontal == h) return &e;
    return nullptr;
  }
  GlyphSwapTable table;
};

TEST_F(DefaultTable, JisRowArithmeticIsRight) {
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("　"))), 1);
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("∩"))), 2);
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("あ"))), 4);
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("┐"))), 8);
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("亜"))), 16);
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("①"))), 13);  // NEC row: not JIS X 0208
  EXPECT_EQ(jisRow(Cp932::Encode(QStringLiteral("熙"))), 84);
}

TEST_F(DefaultTable, EverySubstituteTravelsInIso2022Jp) {
  int substitutes = 0;
  for (const auto& e : table) {
    if (e.Vertical.isEmpty()) continue;
    ++substitutes;
    EXPECT_TRUE(Cp932::CanEncode(e.Vertical)) << e.Vertical.toStdString();
    const int r = jisRow(Cp932::Encode(e.Vertical));
    EXPECT_TRUE((r >= 1 && r <= 8) || (r >= 16 && r <= 84)) << e.Vertical.toStdString() << " row " << r;
  }
  EXPECT_GE(substitutes, 17);
}

TEST_F(DefaultTable, HoldsTheVerticalFormsOfATypesetter) {
  const std::pair<const char*, const char*> forms[] = {
      {"ー", "｜"}, {"―", "｜"}, {"－", "｜"}, {"「", "┐"}, {"」", "└"}, {"『", "┓"},
      {"』", "┗"},  {"（", "∩"}, {"）", "∪"},  {"：", "‥"}, {"＜", "∧"}, {"＞", "∨"},
      {"＝", "∥"},  {"→", "↓"},  {"←", "↑"},   {"↑", "→"},  {"↓", "←"}};
  for (const auto& [h, v] : forms) {
    const GlyphSwapEntry* e = row(QString::fromUtf8(h));
    ASSERT_NE(e, nullptr) << h;
    EXPECT_EQ(e->Vertical, QString::fromUtf8(v)) << h;
  }
  EXPECT_EQ(row(QStringLiteral(">")), nullptr) << "the quote marker must stay visible to the engine";
}

TEST_F(DefaultTable, LineStartClassesMayNotBeginALine) {
  const QString prohibited = QStringLiteral(
      "）〕］｝〉》」』】”’～！？・：；。．、，ヽヾゝゞ々ー"
      "ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ｡｣､･ｰｧｨｩｪｫｯｬｭｮ");
  for (QChar c : prohibited) {
    const GlyphSwapEntry* e = row(QString(c));
    ASSERT_NE(e, nullptr) << QString(c).toStdString();
    EXPECT_TRUE(e->LineHeadProhibited) << QString(c).toStdString();
  }
  for (const char* free : {"「", "（", "あ", "―"}) {
    const GlyphSwapEntry* e = row(QString::fromUtf8(free));
    if (e) {
      EXPECT_FALSE(e->LineHeadProhibited) << free;
    }
  }
}

TEST_F(DefaultTable, KeysAreUniqueAndStoredInCp932) {
  // A character lost to CP932 would come back as a second "?" key.
  QSet<QString> keys;
  for (const auto& e : table) {
    EXPECT_FALSE(keys.contains(e.Horizontal)) << e.Horizontal.toStdString();
    keys.insert(e.Horizontal);
  }
}

}  // namespace
