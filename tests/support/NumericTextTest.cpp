#include "support/NumericText.h"

#include <gtest/gtest.h>

namespace {

TEST(NumericText, NumericTextIsDigitsWithSignPointAndExponent) {
  for (const char* s : {"12", "-3", "+4.5", ".5", "5.", "1e3", "2E-2", " 7 ", "0"})
    EXPECT_TRUE(NumericText::IsNumeric(QString::fromLatin1(s))) << s;
  for (const char* s : {"", " ", "1a", "1,000", "e3", "1e", "--1", ".", "１２", "0x10", "1 2"})
    EXPECT_FALSE(NumericText::IsNumeric(QString::fromLatin1(s))) << s;
  EXPECT_FALSE(NumericText::IsNumeric(QStringLiteral("１２")));  // full-width digits
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
