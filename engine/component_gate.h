#pragma once
// TComponentGate: an application event filter that lets the SNMP component's socket readiness
// reach the component only under the component lock, so that the component's receive path (which
// fills its object table) never overlaps a dispatch from the worker. Handlers that run inside
// such a delivery must not take RequestLock (it comes first in the lock order): they copy what
// they need and defer the rest.
// Thread: the window's thread (the filter sees the events of objects living there).

#include <QObject>
#include <mutex>

namespace kestrava {

class TComponentGate : public QObject {
 public:
  explicit TComponentGate(std::mutex& componentLock) : m_componentLock(componentLock) {}
  TComponentGate(const TComponentGate&) = delete;
  TComponentGate& operator=(const TComponentGate&) = delete;

  // The component's socket; -1 while it has none.
  void SetSocket(int fd) { m_socket = fd; }
  // True while a delivery holds the component lock.
  bool Held() const { return m_held; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::mutex& m_componentLock;
  int m_socket = -1;
  bool m_held = false;
};

}  // namespace kestrava
