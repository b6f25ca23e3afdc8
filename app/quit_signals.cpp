#include "app/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace kestrava {

namespace {

int g_pipe[2] = {-1, -1};  // [0] read by the window's thread, [1] written by the handler
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signo) {
  const int saved = errno;  // only async-signal-safe calls here
  const unsigned char byte = static_cast<unsigned char>(signo);
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TQuitSignals::TQuitSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &TQuitSignals::Receive);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signo : kSignals) sigaction(signo, &action, nullptr);
}

TQuitSignals::~TQuitSignals() {
  if (m_notifier == nullptr) return;
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signo : kSignals) sigaction(signo, &action, nullptr);
  delete m_notifier;
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TQuitSignals::Receive() {
  unsigned char byte = 0;
  while (read(g_pipe[0], &byte, 1) == 1) m_onSignal(byte);
}

}  // namespace kestrava
