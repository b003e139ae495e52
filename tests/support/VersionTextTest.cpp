#include "support/VersionText.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionText, EveryDigitBecomesAFormalNumeral) {
  EXPECT_EQ(VersionText::ToFormalKanji(QStringLiteral("0123456789")), QStringLiteral("零壱弐参四伍六七八九"));
  EXPECT_EQ(VersionText::VersionString(), QStringLiteral("2.1.3"));
}

}  // namespace
