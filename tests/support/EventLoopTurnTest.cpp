#include "support/EventLoopTurn.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(EventLoopTurn, PostedEventsArriveDuringALongJob) {
  EventLoopTurn turn(1);
  bool delivered = false;
  QTimer::singleShot(0, qApp, [&] { delivered = true; });
  for (int i = 0; i < 200000 && !delivered; ++i) {
    turn.Step();
    if (i % 1000 == 0) QThread::usleep(200);
  }
  EXPECT_TRUE(delivered);
}

TEST(EventLoopTurn, AMillionStepsCostOnlyAFewTurns) {
  EventLoopTurn turn(30);
  for (int i = 0; i < 1000000; ++i) turn.Step();
  // A million steps take far less than a second; at most one turn per 30 ms.
  EXPECT_LE(turn.Turns(), 40);
}

}  // namespace
