#include "support/NumericText.h"

#include <gtest/gtest.h>

namespace {

TEST(NumericText, NumericTextIsDigitsWithSignPointAndExponent) {
  for (const char* s : {"12", "-3", "+4.5", ".5", "5.", "1e3", "2E-2", " 7 ", "0"})
    EXPECT_TRUE(NumericText::IsNumeric(QString::fromLatin1(s))) << s;
  for (const char* s : {"", " ", "1a", "1,000", "e3", "1e", "--1", ".", "0x10", "1 2"})
    EXPECT_FALSE(NumericText::IsNumeric(QString::fromLatin1(s))) << s;
}

TEST(NumericText, TheFullWidthFormsAnInputMethodTypesAreNumbersToo) {
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("２０")), 20);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("２５２５")), 2525);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("－３")), -3);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("\u2212３")), -3);  // the minus sign
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("＋４．５")), 4);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("１Ｅ２")), 100);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("　２０　")), 20) << "ideographic spaces around";
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("2０")), 20) << "the two forms mixed";
  for (const QString& s : {QStringLiteral("二十"), QStringLiteral("２，０００"), QStringLiteral("２　０"),
                           QStringLiteral("①"), QStringLiteral("٢"), QStringLiteral("ー３")})
    EXPECT_FALSE(NumericText::IsNumeric(s)) << qPrintable(s);
  EXPECT_FALSE(NumericText::ToInt16(QStringLiteral("３２７６８"))) << "the range still holds";
}

TEST(NumericText, IntegerConversionRoundsHalfToEven) {
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("2.5")), 2);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("3.5")), 4);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("-2.5")), -2);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("2.51")), 3);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("1e2")), 100);
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral(" 25 ")), 25);
}

TEST(NumericText, ValuesOutsideTheRangeAreRefusedNotWrapped) {
  EXPECT_EQ(NumericText::ToInt32(QStringLiteral("2147483647")), 2147483647);
  EXPECT_FALSE(NumericText::ToInt32(QStringLiteral("2147483648")));
  EXPECT_FALSE(NumericText::ToInt32(QStringLiteral("-2147483649")));
  EXPECT_FALSE(NumericText::ToInt32(QStringLiteral("1e300")));
  EXPECT_EQ(NumericText::ToInt16(QStringLiteral("32767")), 32767);
  EXPECT_FALSE(NumericText::ToInt16(QStringLiteral("32768")));
  EXPECT_FALSE(NumericText::ToInt16(QStringLiteral("abc")));
}

}  // namespace
