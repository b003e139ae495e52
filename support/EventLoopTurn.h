#pragma once

#include <QElapsedTimer>

// Gives the event loop a turn during a long job, so that windows repaint and a
// stop request can arrive, without paying for an event-loop pass per step: the
// clock is read only every few hundred calls and events are processed at most
// once per interval.
class EventLoopTurn {
 public:
  explicit EventLoopTurn(int intervalMs = 30);

  // Call after every step of a long job.
  void Step() {
    if (++count_ < kCallsPerClockRead) return;
    count_ = 0;
    StepSlow();
  }

  // Processes pending events now if any interval has passed since the last turn.
  void StepSlow();

  // How many times events were processed (for tests and benchmarks).
  int Turns() const { return turns_; }

 private:
  static constexpr int kCallsPerClockRead = 256;
  int intervalMs_;
  int count_ = 0;
  int turns_ = 0;
  QElapsedTimer timer_;
};
