#pragma once
// TPollSnapshot: what the session publishes to its sinks after every evaluated poll, and again
// whenever the user's choices or the rows change what is shown: every slot's typed value, its
// change and rate per second, the ordered pie, and what names the rows and columns. Once
// published it never changes and is shared: a sink may keep it as long as it likes and read it
// on any thread. What changes only with the rows (labels, suffixes, the OIDs polled) sits in a
// TSnapshotLayout shared by every snapshot of the same rows, so that a poll copies values, not
// texts. Nothing here is text that a sink did not ask for, except the pie's own.
// Thread: built on the window's thread; read-only afterwards.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/pie.h"
#include "engine/row_table.h"
#include "engine/sample.h"
#include "shared/unit_text.h"

namespace kestrava {

struct TSnapshotColumn {
  std::string Oid;   // the configured target's OID, or the whole formula entry
  std::string Name;  // the target's name in the session's OID names, or the formula's label
  bool Formula = false;
  bool Shown = true;  // a hidden target is polled (for formulas) but gets no slice
  TColumnKind Kind = TColumnKind::kOther;  // what it counts (a formula counts nothing known)
  std::string Unit{};                      // a formula's unit as the file gives it; "" none
};

// A row: the instance suffix (".3"; "" outside the instance modes) and the row's label from the
// agent, whole ("" without a label column).
using TSnapshotRow = TInstance;

// The grid of a session's slots: slot = row x Width() + column.
struct TSnapshotLayout {
  std::string Host;
  int Port = 0;
  int SnmpVersion = 0;
  std::string LabelOid;  // the column the rows' labels come from; "" when none was configured
  std::vector<TSnapshotColumn> Columns;
  TRowTable Rows;  // the discovery's own table where the rows are the discovered ones
  // Per slot: the OID asked for (a 64-bit twin's where one is polled); "" for a formula.
  std::vector<std::string> PolledOids;
  // Per slot: the label its slice shows, cut as the chart shows it.
  std::vector<std::string> SliceLabels;
  // Per slot: left out of the pie by the window's filter (still polled, still in the files).
  std::vector<bool> Hidden;
  // Instances the row filter kept from being rows: found, not polled.
  int FilteredOut = 0;

  int Width() const { return static_cast<int>(Columns.size()); }
};

struct TSlotReading {
  TSample Value;  // the newest value, with its BER type; Null with its reason
  TDelta Delta;   // its change since the poll before
  TNullReason DeltaReason = TNullReason::kNoValue;  // why Delta is missing
  // The change per second of measured time (the agent's uptime where known); present only
  // with the change and a known time between the two polls.
  bool HasRate = false;
  double Rate = 0;
  // The speed of the row's interface in bits per second, for a column of interface octets whose
  // speed the agent told; 0 unknown.
  double Speed = 0;
  // What the legend shows of the slot in the snapshot's mode, with its unit (TUnit::kNone: the
  // number alone, as the pie's own text has it).
  TQuantity Shown;
};

// The three ways of looking at the values: the newest value, its change per interval, or its
// rate as a share of the interface's speed.
enum class TValueMode { kRaw, kDelta, kUtilisation };
const char* ValueModeName(TValueMode mode);  // "raw", "delta", "utilisation"

// What the pie shows of a slot: its newest value (raw), or its change.
TCurrentValue ShownValue(const TSlotReading& reading, bool raw);
// The same in any mode; in utilisation the rate in percent of the speed (none without one).
TCurrentValue ShownValue(const TSlotReading& reading, TValueMode mode);

// What the session's requests came to since it started, for a sink that reports on the poller
// itself (the metrics endpoint).
struct TSessionCounters {
  uint64_t RequestsSent = 0;  // datagrams that went out, resends included
  uint64_t Resent = 0;        // requests that went unanswered in time and went again
  uint64_t Lost = 0;          // requests that expired without any answer
  double PollSeconds = 0;     // the last evaluated poll, from its first request to its evaluation
  std::string LastError;      // the last problem of the receive path; "" none yet
};

struct TPollSnapshot {
  // A newly evaluated poll; false for the same values shown again (another value mode or number
  // of slices, rows that came or went).
  bool Fresh = false;
  int64_t TimeMs = 0;      // wall clock of the evaluation, ms since 1970
  int64_t Uptime = -1;     // the agent's sysUpTime.0 at this poll, hundredths; -1 unknown
  double Elapsed = 0;      // seconds since the poll before; 0 unknown
  int Interval = 0;        // the polling interval, seconds
  bool RawValues = false;  // what the pie shows: raw values, or their changes
  TValueMode Mode = TValueMode::kDelta;  // the same, with utilisation beside them
  TUnits Units = TUnits::kBits;
  // Utilisation: the rows of interface octets left out because their speed is not known.
  int WithoutSpeed = 0;
  std::shared_ptr<const TSnapshotLayout> Layout;
  std::vector<TSlotReading> Slots;
  // The pie as the chart shows it: largest first, "Other" last.
  std::vector<TPieSlice> Pie;
  // Some shown slot has a value the pie can show (also when it sums to an empty pie).
  bool AnyValue = false;
  TSessionCounters Counters;
};

using TSnapshotPtr = std::shared_ptr<const TPollSnapshot>;

// A consumer of a session's polls. The session calls its sinks in the order they were added,
// on the window's thread; a sink that needs another thread takes the snapshot there itself.
class IPollSink {
 public:
  virtual ~IPollSink() = default;
  virtual void TakeSnapshot(const TSnapshotPtr& snapshot) = 0;
  // The session stopped for good without polling (nothing discovered, discovery failed, a
  // request that can never be built); message is what the status line shows.
  virtual void SessionEnded(const std::string& message) { (void)message; }
};

}  // namespace kestrava
