#pragma once
// TSnapshotBuilder: makes the snapshots a session publishes. The layout (columns, rows, labels,
// the OIDs polled) is made once per set of rows and shared; each publication copies the slots'
// newest values and changes, works out the rates from the measured time between the polls, and
// orders the pie as the chart shows it.
// Thread: the window's thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "config/config_rec.h"
#include "engine/counter_facts.h"
#include "engine/discovery.h"
#include "engine/poll_plan.h"
#include "engine/poll_snapshot.h"
#include "engine/row_filter.h"
#include "engine/slot_store.h"
#include "shared/session_types.h"

namespace kestrava {

// What a snapshot is made from; every part belongs to the session.
struct TSnapshotSources {
  const TConfigRec& Config;
  const TRequest& Session;
  const TRowTable& Rows;
  const TPollPlan& Plan;
  const TSlotStore& Slots;
  int FilteredOut = 0;  // instances the row filter kept from being rows
  // The interfaces' speeds, for utilisation and the legend (null: none known).
  const TCounterFacts* Facts = nullptr;
};

class TSnapshotBuilder {
 public:
  // The rows or columns changed: the next snapshot makes its layout anew.
  void RowsChanged() { m_layout.reset(); }
  // The time of a newly evaluated poll: the wall clock and the agent's uptime (-1 unknown).
  // The time since the poll before is the uptime's when both polls have it, else the clock's.
  void PollEvaluated(int64_t nowMs, int64_t uptime);
  // Forgets the poll before: the next poll has no measured time since it.
  void ForgetTime();
  // The window's filter: a slice whose label does not match gets no slice and no share of
  // "Other" (an empty pattern matches every label). The next snapshot makes its layout anew.
  void SetShownFilter(TLabelPattern pattern);

  // wanted: the number of slices asked for, "Other" included; below 1 every slot gets one.
  TSnapshotPtr Build(const TSnapshotSources& sources, bool fresh, int wanted);

  // Kept by the session as its requests go; every snapshot carries a copy.
  TSessionCounters Counters;

 private:
  std::shared_ptr<const TSnapshotLayout> Layout(const TSnapshotSources& sources);
  std::shared_ptr<TPollSnapshot> Blank();

  std::shared_ptr<const TSnapshotLayout> m_layout;
  TLabelPattern m_shown;
  int64_t m_timeMs = 0;
  int64_t m_uptime = -1;
  double m_elapsed = 0;
  std::vector<TSliceCandidate> m_candidates;  // kept from build to build
  // The last two snapshots built. The older one, once nobody else holds it, lends its room to
  // the next: a poll of thousands of rows then allocates nothing for its values.
  std::shared_ptr<TPollSnapshot> m_last;
  std::shared_ptr<TPollSnapshot> m_older;
};

}  // namespace kestrava
