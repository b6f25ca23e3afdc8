#pragma once
// THistoryStore: the time behind the pie. As a sink it keeps, for a window of time (60 minutes
// unless set), every row's value at every newly evaluated poll: its change per second, or its
// raw value while the pie shows raw values ("the value" below). Rows that ever had a slice of
// their own in the pie, and pinned rows, keep every poll from then on; every row keeps a
// minimum, mean and maximum per minute of the wall clock, so that the other rows cost a few
// bytes a minute. Each poll also keeps its pie (its first kFrameSlices slices, the rest summed
// as "Other"), so that the ranking of a past moment can be shown again.
// A row is one slot of the snapshot: its agent, index and column; rows that go keep
// their past until it leaves the window. Time is the snapshots' own (TimeMs), which is how tests
// drive it. Values are kept as float: seven digits are plenty for a plot and a minimum.
// Thread: the window's thread only.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/poll_snapshot.h"
#include "engine/rank_changes.h"
#include "engine/ring.h"

namespace kestrava {

// Who a series of values belongs to.
struct TSeriesInfo {
  std::string Index;       // the instance index ("3"); "" outside the instance modes
  std::string Label;       // the row's label from the agent
  std::string Column;      // the target's name (or the formula's label)
  std::string Target;      // the configured target: its OID, or the whole formula entry
  std::string PolledOid;   // the OID asked for (a 64-bit twin where one is polled); "" formula
  std::string SliceLabel;  // as the slice shows it
};

// One point of a plot: one poll (Min == Mean == Max), or one minute of a row without every poll.
struct THistoryPoint {
  int64_t TimeMs = 0;  // the poll's time, or the minute's start
  float Min = 0;
  float Mean = 0;
  float Max = 0;
};

struct THistoryStats {
  bool Any = false;                                           // some value lies in the range
  double Current = std::numeric_limits<double>::quiet_NaN();  // the newest value; NaN missing
  double Min = 0;
  double Mean = 0;
  double Max = 0;
};

// One slice of a kept pie: the series it shows (-1 "Other") and its value.
struct TFrameSlice {
  int Series = -1;
  double Value = 0;
};

// One poll as the pie showed it.
struct THistoryFrame {
  int64_t TimeMs = 0;
  double Elapsed = 0;               // seconds since the poll before; 0 unknown
  bool RawValues = false;           // the values are raw values, not changes per second
  std::vector<TFrameSlice> Slices;  // largest first, "Other" last
};

class THistoryStore : public IPollSink {
 public:
  // The slices a frame keeps; a pie of every row ("Any") is kept as its largest ones and
  // "Other", and only these count as the top of the pie.
  static constexpr int kFrameSlices = 64;

  explicit THistoryStore(int minutes = 60);
  THistoryStore(const THistoryStore&) = delete;
  THistoryStore& operator=(const THistoryStore&) = delete;

  // The window; what lies before it goes with the next poll. REQUIRES: minutes >= 1.
  void SetWindowMinutes(int minutes);
  int WindowMinutes() const { return m_minutes; }

  void TakeSnapshot(const TSnapshotPtr& snapshot) override;

  // Series.
  int SeriesCount() const { return static_cast<int>(m_series.size()); }
  const TSeriesInfo& Info(int series) const { return m_info[Idx(series)]; }
  // The series of a slot of the newest snapshot taken (fresh or not); -1 when there is none.
  int SeriesOfSlot(int slot) const;
  // Full resolution from now on (and never dropped back while pinned).
  void Pin(int series, bool pinned);
  bool Pinned(int series) const { return m_series[Idx(series)].Pinned; }
  bool FullResolution(int series) const { return m_series[Idx(series)].Full; }

  // The values of a series within [fromMs, toMs]: every poll where it has them, and minutes
  // before that; missing values are left out.
  std::vector<THistoryPoint> Points(int series, int64_t fromMs, int64_t toMs) const;
  // Current (the value at the newest poll at or before toMs), minimum, mean and maximum there.
  THistoryStats Stats(int series, int64_t fromMs, int64_t toMs) const;

  // Frames, oldest first.
  int FrameCount() const { return static_cast<int>(m_frames.Size()); }
  const THistoryFrame& Frame(int i) const { return m_frames[static_cast<size_t>(i)]; }
  // The newest frame at or before timeMs; -1 when none is.
  int FrameAt(int64_t timeMs) const;
  // The series' rank (1 the largest) in a frame; 0 when it had no slice of its own.
  int RankIn(int series, int frame) const;
  // The seconds the series had a slice of its own, in the frames up to and including `frame`.
  double SecondsInTop(int series, int frame) const;

  // Changes of the ranking (rows named by their series), oldest first, within the window; and
  // those of the newest poll. A move counts when it is by more than `places` (3 unless set).
  void SetRankPlaces(int places) { m_tracker.SetPlaces(places); }
  // In the utilisation mode, rows crossing this threshold (percent; 0 none) are events too.
  void SetThreshold(int percent) { m_threshold.SetThreshold(percent); }
  int EventCount() const { return static_cast<int>(m_events.Size()); }
  const TRankEvent& Event(int i) const { return m_events[static_cast<size_t>(i)]; }
  const std::vector<TRankEvent>& LastEvents() const { return m_lastEvents; }

  // What the store holds, in bytes (its blocks, texts and tables).
  size_t MemoryBytes() const;

  // Replay: a store filled from a recording instead of polls.
  struct TMinute {
    float Min = 0;
    float Max = 0;
    float Sum = 0;
    uint32_t Count = 0;
  };
  struct TSeriesData {
    // Minutes, oldest first: the closed ones, then the open one (written into the ring only
    // when the next begins, so that a poll touches nothing but this record).
    int64_t FirstMinute = 0;  // the minute (ms / 60000) of the first
    TRing<TMinute> Minutes;   // closed; a minute without a value has Count 0
    TMinute Open;             // the minute FirstMinute + Minutes.Size(), when AnyMinute
    bool AnyMinute = false;
    size_t MinuteCount() const { return AnyMinute ? Minutes.Size() + 1 : 0; }
    const TMinute& MinuteAt(size_t i) const { return i < Minutes.Size() ? Minutes[i] : Open; }
    bool Full = false;
    uint64_t FullFirst = 0;  // the poll number of Values[0]
    TRing<float> Values;
    bool Pinned = false;
    uint64_t LastTop = 0;  // the newest poll where it had a slice of its own
  };
  // The raw material, for a recording. Poll numbers count from FirstPoll() (frame 0).
  const TSeriesData& Data(int series) const { return m_series[Idx(series)]; }
  uint64_t FirstPoll() const { return m_firstPoll; }
  // Puts a recording's content in place of everything held (no snapshot is current then).
  void Restore(std::vector<TSeriesInfo> info, std::vector<TSeriesData> series, uint64_t firstPoll,
               std::vector<THistoryFrame> frames, std::vector<TRankEvent> events);

 private:
  static size_t Idx(int series) { return static_cast<size_t>(series); }
  void MapLayout(const TSnapshotLayout& layout);
  void AddValue(TSeriesData& series, uint64_t poll, int64_t minute, float value);
  void MakeFull(TSeriesData& series, uint64_t poll);
  // Drops what lies before the window from a series.
  void Trim(TSeriesData& series) const;
  // The threshold crossings of a poll, after its rank changes in m_lastEvents.
  void WatchThreshold(const TPollSnapshot& snapshot);
  // Drops the frames and events before timeMs; every series too once the window's first minute
  // moved on (those polled are trimmed as their values come).
  void DropBefore(int64_t timeMs);

  int m_minutes;
  // In one block without their texts: a poll walks them all.
  std::vector<TSeriesData> m_series;
  std::vector<TSeriesInfo> m_info;               // beside m_series
  std::unordered_map<std::string, int> m_byKey;  // agent, index and target
  const TSnapshotLayout* m_layout = nullptr;     // the layout m_slotSeries is for
  std::shared_ptr<const TSnapshotLayout> m_layoutHeld;
  std::vector<int> m_slotSeries;
  uint64_t m_firstPoll = 0;                                     // the poll number of frame 0
  int64_t m_firstMinute = std::numeric_limits<int64_t>::min();  // of the window
  TRing<THistoryFrame> m_frames;
  TRankTracker m_tracker;
  TThresholdWatch m_threshold;
  TRing<TRankEvent> m_events;
  std::vector<TRankEvent> m_lastEvents;
};

// The value a snapshot gives a slot for the history: its raw value in raw mode, else its rate
// per second; NaN when missing.
float HistoryValue(const TSlotReading& reading, bool raw);

}  // namespace kestrava
