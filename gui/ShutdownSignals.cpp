#include "gui/ShutdownSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler may do nothing but write a byte: the event loop does the rest.
int fds[2] = {-1, -1};
}  // namespace

ShutdownSignals& ShutdownSignals::Instance() {
  static ShutdownSignals* instance = new ShutdownSignals;
  return *instance;
}

ShutdownSignals::ShutdownSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::readable);
  struct sigaction action {};
  action.sa_handler = &ShutdownSignals::handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(s, &action, nullptr);
}

void ShutdownSignals::handler(int signal) {
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(fds[0], &byte, 1);
}

void ShutdownSignals::readable() {
  unsigned char byte = 0;
  while (::read(fds[1], &byte, 1) == 1) Q_EMIT Received(byte);
}
