#include "app/scripted_run.h"

#include <chrono>
#include <cstdio>

namespace kestrava {

TScriptedRun::TScriptedRun(const TOutputOptions& options, std::function<void(int status)> finish)
    : m_options(options), m_finish(std::move(finish)) {
  m_watchdog.setSingleShot(true);
  QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
    SessionEnded("No update has shown a slice for " + std::to_string(m_watchdogSeconds) +
                 " seconds; the run ends.");
  });
}

void TScriptedRun::Start(int interval) {
  if (!Active() || m_finished) return;
  Arm(m_options.ExitTimeout > 0 ? m_options.ExitTimeout
                                : 3 * interval + kTimeoutTableSeconds + kDiscoverySeconds);
}

void TScriptedRun::PollingStarted(int interval) {
  if (!Active() || m_finished || m_pollingArmed || m_updatesWithSlices > 0 ||
      m_options.ExitTimeout > 0)
    return;
  m_pollingArmed = true;
  Arm(4 * interval + kTimeoutTableSeconds);
}

void TScriptedRun::Arm(int seconds) {
  m_watchdogSeconds = seconds;
  m_watchdog.start(std::chrono::seconds(seconds));
}

void TScriptedRun::TakeSnapshot(const TSnapshotPtr& snapshot) {
  const bool failed = m_outputFailed;
  m_outputFailed = false;
  if (!Active() || m_finished || snapshot->Pie.empty()) return;
  Arm(m_options.ExitTimeout > 0 ? m_options.ExitTimeout
                                : 3 * snapshot->Interval + kTimeoutTableSeconds);
  if (++m_updatesWithSlices >= m_options.ExitAfter) Finish(failed ? kExitOutputFailed : 0);
}

void TScriptedRun::End(int status, const std::string& message) {
  // The status line already says it; a scripted run says it once on standard error.
  if (!Active() || m_finished) return;
  std::fprintf(stderr, "kestrava: %s\n", message.c_str());
  Finish(status);
}

void TScriptedRun::Finish(int status) {
  m_finished = true;
  m_watchdog.stop();
  m_finish(status);
}

}  // namespace kestrava
