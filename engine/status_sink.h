#pragma once
// TStatusSink: the status line while polling. After each newly evaluated poll it says what is
// being polled ("Polling 36 rows every 5 s, 12 filtered out"), unless something else stands there:
// a problem of this poll keeps its place until the next poll clears the line. Thread: the window's
// thread only.

#include <string>

#include "engine/poll_snapshot.h"
#include "engine/window.h"

namespace kestrava {

class TStatusSink : public IPollSink {
 public:
  explicit TStatusSink(IMainWindow& window) : m_window(window) {}
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

  // "Polling 1 row every 1 s", "Polling 36 rows every 5 s, 12 filtered out"; in utilisation
  // with the count of slots left out for want of a speed: "..., 3 without a known speed left out".
  static std::string PollingText(const TPollSnapshot& snapshot);

 private:
  IMainWindow& m_window;
};

}  // namespace kestrava
