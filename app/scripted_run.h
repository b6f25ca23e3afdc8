#pragma once
// TScriptedRun: the end of a scripted run (/EXITAFTER n), a sink of the session. The run ends
// with status 0 after n updates that showed a slice (4 when a file of the last one could not be
// written), with 1 when the session stops, and with 1 when no update has shown a slice for a
// while: 3 polling intervals and the longest a request takes to expire, or /EXITTIMEOUT. That
// bound holds from the start, so that a discovery that never ends also ends the run (with a
// minute more for the walk, unless /EXITTIMEOUT says otherwise).
// Thread: the window's thread only.

#include <QTimer>
#include <functional>
#include <string>

#include "config/command_line.h"
#include "engine/poll_snapshot.h"

namespace kestrava {

// Exit statuses of a scripted run that could not finish.
inline constexpr int kExitSessionStopped = 1;  // nothing to poll, or the session stopped
inline constexpr int kExitConfigError = 2;     // the configuration file failed to load
inline constexpr int kExitOutputFailed = 4;    // the last update's files could not be written
inline constexpr int kExitStreamClosed = 5;    // the reader of /STREAM went away
// The longest a request takes to expire: five sends a second apart and a second more.
inline constexpr int kTimeoutTableSeconds = 7;
// What the first bound adds for discovery before the first poll.
inline constexpr int kDiscoverySeconds = 60;

class TScriptedRun : public IPollSink {
 public:
  // finish ends the program with a status; it is called once at most.
  TScriptedRun(const TOutputOptions& options, std::function<void(int status)> finish);
  TScriptedRun(const TScriptedRun&) = delete;
  TScriptedRun& operator=(const TScriptedRun&) = delete;

  bool Active() const { return m_options.ExitAfter > 0; }
  // The bound armed now, in seconds (0: none).
  int BoundSeconds() const { return m_watchdog.isActive() ? m_watchdogSeconds : 0; }
  // The session started polling every `interval` seconds (or will): the first bound is armed.
  void Start(int interval);
  // Polling starts: until an update shows a slice, the bound is three polling intervals and the
  // time-out table after the first poll, which is due within an interval.
  void PollingStarted(int interval);
  // A file of the current update could not be written.
  void OutputFailed() { m_outputFailed = true; }

  // Ends the run with status, saying why on standard error (once: a later end is ignored).
  void End(int status, const std::string& message);

  void TakeSnapshot(const TSnapshotPtr& snapshot) override;
  void SessionEnded(const std::string& message) override { End(kExitSessionStopped, message); }

 private:
  void Arm(int seconds);
  void Finish(int status);

  TOutputOptions m_options;
  std::function<void(int)> m_finish;
  QTimer m_watchdog;
  int m_watchdogSeconds = 0;
  int m_updatesWithSlices = 0;
  bool m_outputFailed = false;
  bool m_pollingArmed = false;
  bool m_finished = false;
};

}  // namespace kestrava
