#pragma once
// For the first-window programs: the offscreen platform unless another is asked for, and the
// end of the event loop once a window has been painted for the first time.
// Thread: the window's thread only.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

namespace kestrava {

inline void UseOffscreenUnlessSet() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Ends the event loop right after the window's first paint event has been handled: the paint
// of the whole window, children included, is done by then.
inline void QuitAfterFirstPaint(QWidget& window) {
  class TFirstPaint : public QObject {
   public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && !m_seen) {
        m_seen = true;
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
      }
      return false;
    }

   private:
    bool m_seen = false;
  };
  window.installEventFilter(new TFirstPaint(&window));
}

}  // namespace kestrava
