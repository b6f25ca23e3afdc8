#pragma once
// SIGINT, SIGTERM and SIGHUP close the main window the ordinary way (the session's close
// handler stops the worker and releases everything), instead of killing the process midway.
// The signal handler only writes the signal's number to a pipe; the window's thread reads it
// through a QSocketNotifier and runs the closing there.
// Thread: install and receive on the window's thread.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kestrava {

class TQuitSignals : public QObject {
  Q_OBJECT

 public:
  // onSignal runs on the window's thread with the signal's number, once per signal.
  explicit TQuitSignals(std::function<void(int signo)> onSignal, QObject* parent = nullptr);
  ~TQuitSignals() override;
  TQuitSignals(const TQuitSignals&) = delete;
  TQuitSignals& operator=(const TQuitSignals&) = delete;

 private:
  void Receive();

  std::function<void(int)> m_onSignal;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kestrava
