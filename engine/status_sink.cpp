#include "engine/status_sink.h"

namespace kestrava {

std::string TStatusSink::PollingText(const TPollSnapshot& snapshot) {
  const size_t rows = snapshot.Layout->Rows.size();
  std::string text = "Polling " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                     " every " + std::to_string(snapshot.Interval) + " s";
  if (snapshot.Layout->FilteredOut > 0)
    text += ", " + std::to_string(snapshot.Layout->FilteredOut) + " filtered out";
  return text;
}

void TStatusSink::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (snapshot->Fresh && snapshot->Layout) m_window.ShowIdleStatus(PollingText(*snapshot));
}

}  // namespace kestrava
