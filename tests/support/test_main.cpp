#include <QApplication>

#include <gtest/gtest.h>

// Every test program runs with a QApplication on the offscreen platform, so that
// window tests and event-loop tests find one.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
