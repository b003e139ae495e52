#include "support/AboutWindow.h"
#include "support/VersionText.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(VersionText, EveryDigitBecomesAFormalNumeral) {
  EXPECT_EQ(VersionText::ToFormalKanji(QStringLiteral("0123456789")), QStringLiteral("零壱弐参四伍六七八九"));
  EXPECT_EQ(VersionText::VersionString(), QStringLiteral("2.1.3"));
  EXPECT_EQ(AboutWindow::VersionLine(QStringLiteral("2.1.3")), QStringLiteral("形式 弐.壱.参"));
}

TEST(VersionText, AboutWindowShowsTitleAndVersion) {
  AboutWindow about(QStringLiteral("たかぽすと"), VersionText::VersionString());
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), QStringLiteral("たかぽすと"));
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("形式 弐.壱.参"));
}

}  // namespace
