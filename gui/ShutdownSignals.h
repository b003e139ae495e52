#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) arrive as
// a Received signal in the event loop, so the program can close the way a
// normal close does instead of dying with the user's work in memory.
class ShutdownSignals : public QObject {
  Q_OBJECT
 public:
  // The one instance of the process; installs the handlers on first use.
  static ShutdownSignals& Instance();

 Q_SIGNALS:
  void Received(int signal);

 private:
  ShutdownSignals();
  static void handler(int signal);
  void readable();

  QSocketNotifier* notifier_ = nullptr;
};
