#include "engine/status_sink.h"

namespace kestrava {

namespace {

// Utilisation leaves out the interfaces whose speed the agent did not tell.
std::string SpeedNote(const TPollSnapshot& snapshot) {
  if (snapshot.WithoutSpeed == 0) return std::string();
  return ", " + std::to_string(snapshot.WithoutSpeed) + " without a known speed left out";
}

}  // namespace

std::string TStatusSink::PollingText(const TPollSnapshot& snapshot) {
  const size_t rows = snapshot.Layout->Rows.size();
  std::string text = "Polling " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                     " every " + std::to_string(snapshot.Interval) + " s";
  if (snapshot.Layout->FilteredOut > 0)
    text += ", " + std::to_string(snapshot.Layout->FilteredOut) + " filtered out";
  return text + SpeedNote(snapshot);
}

void TStatusSink::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (snapshot->Fresh && snapshot->Layout) m_window.ShowIdleStatus(PollingText(*snapshot));
}

}  // namespace kestrava
