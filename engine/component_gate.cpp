#include "engine/component_gate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

namespace kestrava {

bool TComponentGate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::SockAct || m_held || m_socket < 0) return false;
  auto* notifier = qobject_cast<QSocketNotifier*>(watched);
  if (!notifier || notifier->socket() != m_socket) return false;
  std::lock_guard<std::mutex> lock(m_componentLock);
  m_held = true;
  // Delivered again, now under the lock; this filter lets the second pass through.
  QCoreApplication::sendEvent(notifier, event);
  m_held = false;
  return true;
}

}  // namespace kestrava
