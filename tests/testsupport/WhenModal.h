#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs job on the next modal window to appear (a modal window's exec() would
// otherwise block the test), then lets the test go on.
inline void WhenModal(std::function<void(QWidget*)> job) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, job = std::move(job)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    job(modal);
  });
  poll->start();
}

// While it lives, every modal window that appears is closed as by its close
// box (the settings window opened by a start without settings, for instance).
class ModalCloser {
 public:
  ModalCloser() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    timer_.start();
  }
  void Stop() { timer_.stop(); }

 private:
  QTimer timer_;
};
