#include "support/EventLoopTurn.h"

#include <QCoreApplication>

EventLoopTurn::EventLoopTurn(int intervalMs) : intervalMs_(intervalMs) { timer_.start(); }

void EventLoopTurn::StepSlow() {
  if (timer_.elapsed() < intervalMs_) return;
  timer_.restart();
  if (QCoreApplication::instance() == nullptr) return;
  ++turns_;
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
