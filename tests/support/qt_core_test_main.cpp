// main() for tests that need a Qt event loop but no windows: the tests run inside a
// QCoreApplication, which the event loop, timers and socket notifiers need.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
