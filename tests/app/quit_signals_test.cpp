// A quit signal reaches the window's thread through its event loop, once per signal, and the
// default action is back once the receiver is gone.

#include "app/quit_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

namespace kestrava {
namespace {

TEST(QuitSignals, EachSignalRunsTheCallbackOnTheEventLoop) {
  std::vector<int> received;
  TQuitSignals quit([&](int signo) {
    received.push_back(signo);
    if (received.size() == 3) QCoreApplication::exit(0);
  });
  raise(SIGTERM);
  EXPECT_TRUE(received.empty()) << "nothing runs inside the signal handler";
  raise(SIGINT);
  raise(SIGHUP);
  QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(received, std::vector<int>({SIGTERM, SIGINT, SIGHUP}));
}

TEST(QuitSignals, DefaultActionIsRestoredAfterwards) {
  {
    TQuitSignals quit([](int) {});
  }
  const pid_t child = fork();
  if (child == 0) {
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

}  // namespace
}  // namespace kestrava
