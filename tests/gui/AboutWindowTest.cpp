#include "gui/AboutWindow.h"
#include "support/VersionText.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(AboutWindow, ShowsTitleAndVersionInFormalNumerals) {
  EXPECT_EQ(AboutWindow::VersionLine(QStringLiteral("2.1.3")), QStringLiteral("形式 弐.壱.参"));

  AboutWindow about(QStringLiteral("たかぽすと"), VersionText::VersionString());
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), QStringLiteral("たかぽすと"));
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("形式 弐.壱.参"));
}

}  // namespace
