#pragma once
// Small helpers for the TSnmpMgr tests: serving the event loop while waiting, and the message
// of the manager's error from a call. Thread: the test's (main) thread, inside a
// QCoreApplication.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>

#include "snmp/snmpmgr.h"

namespace kestrava::testing {

// Serves the thread's event loop until pred holds or ms pass; returns pred().
inline bool WaitFor(const std::function<bool()>& pred, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred() && std::chrono::steady_clock::now() < end)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return pred();
}

// The text of the ESnmpMgr that call throws, or "" when it returns.
inline std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ESnmpMgr& e) {
    return e.what();
  }
  return "";
}

}  // namespace kestrava::testing
