#include "engine/history_store.h"

#include <algorithm>
#include <cmath>

namespace kestrava {

namespace {

constexpr int64_t kMinuteMs = 60000;
constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();

int64_t MinuteOf(int64_t timeMs) {
  return timeMs >= 0 ? timeMs / kMinuteMs : (timeMs - kMinuteMs + 1) / kMinuteMs;
}

size_t TextBytes(const std::string& text) {
  return text.capacity() > 15 ? text.capacity() + 1 : 0;  // beyond the short-string room
}

// Rows of another agent (after a new connection) are other rows.
std::string RowKey(const std::string& agent, const std::string& index, const std::string& target) {
  return agent + '\n' + index + '\n' + target;
}

// Visits what a series holds in [fromMs, toMs], oldest first: each minute before its every-poll
// values begin, then each poll; visit(timeMs, min, max, sum, count).
template <typename F>
void Visit(const THistoryStore& store, int series, int64_t fromMs, int64_t toMs, F&& visit) {
  const THistoryStore::TSeriesData& data = store.Data(series);
  int64_t fullStart = std::numeric_limits<int64_t>::max();
  if (data.Full && !data.Values.Empty() && data.FullFirst >= store.FirstPoll()) {
    const uint64_t frame = data.FullFirst - store.FirstPoll();
    if (frame < static_cast<uint64_t>(store.FrameCount()))
      fullStart = store.Frame(static_cast<int>(frame)).TimeMs;
  }
  for (size_t m = 0; m < data.MinuteCount(); ++m) {
    const THistoryStore::TMinute& minute = data.MinuteAt(m);
    const int64_t start = (data.FirstMinute + static_cast<int64_t>(m)) * kMinuteMs;
    if (minute.Count == 0 || start < fromMs || start > toMs) continue;
    if (start + kMinuteMs > fullStart) break;  // the polls tell this minute better
    visit(start, minute.Min, minute.Max, static_cast<double>(minute.Sum), minute.Count);
  }
  if (fullStart == std::numeric_limits<int64_t>::max()) return;
  const size_t first = static_cast<size_t>(data.FullFirst - store.FirstPoll());
  for (size_t i = 0; i < data.Values.Size(); ++i) {
    const size_t frame = first + i;
    if (frame >= static_cast<size_t>(store.FrameCount())) break;
    const int64_t time = store.Frame(static_cast<int>(frame)).TimeMs;
    if (time > toMs) break;
    const float value = data.Values[i];
    if (time < fromMs || std::isnan(value)) continue;
    visit(time, value, value, static_cast<double>(value), 1u);
  }
}

}  // namespace

float HistoryValue(const TSlotReading& reading, bool raw) {
  if (raw) return reading.Value.IsNull() ? kMissing : static_cast<float>(reading.Value.Number());
  return reading.HasRate ? static_cast<float>(reading.Rate) : kMissing;
}

THistoryStore::THistoryStore(int minutes) : m_minutes(std::max(1, minutes)) {}

void THistoryStore::SetWindowMinutes(int minutes) {
  m_minutes = std::max(1, minutes);
}

int THistoryStore::SeriesOfSlot(int slot) const {
  if (slot < 0 || static_cast<size_t>(slot) >= m_slotSeries.size()) return -1;
  return m_slotSeries[static_cast<size_t>(slot)];
}

void THistoryStore::MapLayout(const TSnapshotLayout& layout) {
  const size_t width = static_cast<size_t>(layout.Width());
  const std::string agent = layout.Host + ':' + std::to_string(layout.Port);
  m_slotSeries.assign(layout.Rows.size() * width, -1);
  for (size_t slot = 0; slot < m_slotSeries.size(); ++slot) {
    const TSnapshotColumn& column = layout.Columns[slot % width];
    if (!column.Shown) continue;
    const TSnapshotRow& row = layout.Rows[slot / width];
    const std::string index = row.Suffix.empty() ? row.Suffix : row.Suffix.substr(1);
    auto [at, added] = m_byKey.try_emplace(RowKey(agent, index, column.Oid), SeriesCount());
    if (added) {
      m_series.emplace_back();
      m_info.emplace_back();
    }
    TSeriesInfo& info = m_info[Idx(at->second)];
    info.Index = index;
    info.Label = row.Label;
    info.Column = column.Name;
    info.Target = column.Oid;
    info.PolledOid = slot < layout.PolledOids.size() ? layout.PolledOids[slot] : std::string();
    info.SliceLabel = slot < layout.SliceLabels.size() ? layout.SliceLabels[slot] : row.Label;
    m_slotSeries[slot] = at->second;
  }
  m_layout = &layout;
}

void THistoryStore::MakeFull(TSeriesData& series, uint64_t poll) {
  series.LastTop = poll;
  if (series.Full) return;
  series.Full = true;
  series.FullFirst = poll;
  series.Values.Clear();
}

void THistoryStore::Pin(int series, bool pinned) {
  TSeriesData& data = m_series[Idx(series)];
  data.Pinned = pinned;
  if (pinned) MakeFull(data, m_firstPoll + m_frames.Size());
}

void THistoryStore::AddValue(TSeriesData& series, uint64_t poll, int64_t minute, float value) {
  if (series.Full) {
    // A row that missed polls (it was gone for a while) keeps its values in step with them.
    while (series.FullFirst + series.Values.Size() < poll) series.Values.PushBack(kMissing);
    series.Values.PushBack(value);
  }
  if (std::isnan(value)) return;
  const TMinute first{value, value, value, 1};
  if (!series.AnyMinute) {
    series.AnyMinute = true;
    series.FirstMinute = minute;
    series.Open = first;
    return;
  }
  const int64_t open = series.FirstMinute + static_cast<int64_t>(series.Minutes.Size());
  if (minute > open) {
    if (minute - open > m_minutes + 1) {
      series.Minutes.Clear();
      series.FirstMinute = minute;
    } else {
      // Minutes without a value stay as empty places.
      series.Minutes.PushBack(series.Open);
      for (int64_t m = open + 1; m < minute; ++m) series.Minutes.PushBack(TMinute{});
    }
    series.Open = first;
    return;
  }
  // This minute (or a clock that went back: the newest minute takes it).
  TMinute& bucket = series.Open;
  bucket.Min = std::min(bucket.Min, value);
  bucket.Max = std::max(bucket.Max, value);
  bucket.Sum += value;
  ++bucket.Count;
}

void THistoryStore::TakeSnapshot(const TSnapshotPtr& snapshot) {
  if (!snapshot->Layout) return;
  // The rows of every snapshot are known, so that the slices shown always name theirs.
  if (snapshot->Layout.get() != m_layout) MapLayout(*snapshot->Layout);
  m_layoutHeld = snapshot->Layout;
  // Only polls count: the same values shown again (another number of slices) are no moment.
  if (!snapshot->Fresh) return;
  const uint64_t poll = m_firstPoll + m_frames.Size();

  THistoryFrame frame;
  frame.TimeMs = snapshot->TimeMs;
  frame.Elapsed = snapshot->Elapsed;
  frame.RawValues = snapshot->RawValues;
  double other = 0;
  bool anyOther = false;
  for (const TPieSlice& slice : snapshot->Pie) {
    const int series = SeriesOfSlot(slice.Slot);
    if (series >= 0 && static_cast<int>(frame.Slices.size()) < kFrameSlices - 1) {
      frame.Slices.push_back(TFrameSlice{series, slice.Value});
      MakeFull(m_series[Idx(series)], poll);
    } else {
      other += slice.Value;
      anyOther = true;
    }
  }
  if (anyOther) frame.Slices.push_back(TFrameSlice{-1, other});
  frame.Slices.shrink_to_fit();
  std::vector<int> top;
  for (const TFrameSlice& slice : frame.Slices) {
    if (slice.Series >= 0) top.push_back(slice.Series);
  }
  m_lastEvents = m_tracker.Step(frame.TimeMs, top);
  WatchThreshold(*snapshot);
  for (const TRankEvent& event : m_lastEvents) m_events.PushBack(event);
  m_frames.PushBack(std::move(frame));

  DropBefore(snapshot->TimeMs - static_cast<int64_t>(m_minutes) * kMinuteMs);
  const int64_t minute = MinuteOf(snapshot->TimeMs);
  for (size_t slot = 0; slot < m_slotSeries.size() && slot < snapshot->Slots.size(); ++slot) {
    const int series = m_slotSeries[slot];
    if (series < 0) continue;
    TSeriesData& data = m_series[Idx(series)];
    AddValue(data, poll, minute, HistoryValue(snapshot->Slots[slot], snapshot->RawValues));
    Trim(data);
  }
}

void THistoryStore::WatchThreshold(const TPollSnapshot& snapshot) {
  if (snapshot.Mode != TValueMode::kUtilisation) {
    m_threshold.Reset();
    return;
  }
  if (m_threshold.Threshold() <= 0) return;
  std::vector<std::pair<int, double>> shares;
  for (size_t slot = 0; slot < m_slotSeries.size() && slot < snapshot.Slots.size(); ++slot) {
    if (m_slotSeries[slot] < 0) continue;
    const TCurrentValue share = ShownValue(snapshot.Slots[slot], TValueMode::kUtilisation);
    if (share.Present) shares.emplace_back(m_slotSeries[slot], static_cast<double>(share.Number));
  }
  for (const TRankEvent& event : m_threshold.Step(snapshot.TimeMs, shares))
    m_lastEvents.push_back(event);
}

void THistoryStore::DropBefore(int64_t timeMs) {
  while (!m_frames.Empty() && m_frames.Front().TimeMs < timeMs) {
    m_frames.PopFront();
    ++m_firstPoll;
  }
  while (!m_events.Empty() && m_events.Front().TimeMs < timeMs) m_events.PopFront();
  const int64_t firstMinute = MinuteOf(timeMs);
  if (firstMinute == m_firstMinute) return;
  m_firstMinute = firstMinute;
  for (TSeriesData& series : m_series) Trim(series);
}

void THistoryStore::Trim(TSeriesData& series) const {
  while (!series.Minutes.Empty() && series.FirstMinute < m_firstMinute) {
    series.Minutes.PopFront();
    ++series.FirstMinute;
  }
  if (series.AnyMinute && series.FirstMinute < m_firstMinute) series.AnyMinute = false;
  if (!series.Full) return;
  if (!series.Pinned && series.LastTop < m_firstPoll) {
    // Not in the pie for the whole window: minutes tell enough of it again.
    series.Full = false;
    series.Values.Clear();
    return;
  }
  while (series.FullFirst < m_firstPoll && !series.Values.Empty()) {
    series.Values.PopFront();
    ++series.FullFirst;
  }
  if (series.Values.Empty()) series.FullFirst = std::max(series.FullFirst, m_firstPoll);
}

std::vector<THistoryPoint> THistoryStore::Points(int series, int64_t fromMs, int64_t toMs) const {
  std::vector<THistoryPoint> points;
  Visit(*this, series, fromMs, toMs,
        [&](int64_t time, float min, float max, double sum, uint32_t count) {
          points.push_back(THistoryPoint{time, min, static_cast<float>(sum / count), max});
        });
  return points;
}

THistoryStats THistoryStore::Stats(int series, int64_t fromMs, int64_t toMs) const {
  THistoryStats stats;
  double sum = 0;
  uint64_t count = 0;
  Visit(*this, series, fromMs, toMs, [&](int64_t, float min, float max, double total, uint32_t n) {
    stats.Min = stats.Any ? std::min(stats.Min, static_cast<double>(min)) : min;
    stats.Max = stats.Any ? std::max(stats.Max, static_cast<double>(max)) : max;
    stats.Any = true;
    stats.Current = total / n;
    sum += total;
    count += n;
  });
  if (count > 0) stats.Mean = sum / static_cast<double>(count);
  return stats;
}

int THistoryStore::FrameAt(int64_t timeMs) const {
  int low = 0;
  int high = FrameCount();
  while (low < high) {  // the first frame after timeMs
    const int mid = low + (high - low) / 2;
    if (Frame(mid).TimeMs <= timeMs) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low - 1;
}

int THistoryStore::RankIn(int series, int frame) const {
  const std::vector<TFrameSlice>& slices = Frame(frame).Slices;
  for (size_t i = 0; i < slices.size(); ++i) {
    if (slices[i].Series == series) return static_cast<int>(i) + 1;
  }
  return 0;
}

double THistoryStore::SecondsInTop(int series, int frame) const {
  double seconds = 0;
  for (int f = 0; f <= frame && f < FrameCount(); ++f) {
    if (RankIn(series, f) == 0) continue;
    double elapsed = Frame(f).Elapsed;
    if (elapsed <= 0 && f > 0)
      elapsed = static_cast<double>(Frame(f).TimeMs - Frame(f - 1).TimeMs) / 1000;
    seconds += elapsed;
  }
  return seconds;
}

size_t THistoryStore::MemoryBytes() const {
  size_t bytes = sizeof(*this) + m_series.capacity() * sizeof(TSeriesData) +
                 m_slotSeries.capacity() * sizeof(int) + m_frames.Bytes();
  for (const TSeriesData& series : m_series)
    bytes += series.Minutes.Bytes() + series.Values.Bytes();
  bytes += m_info.capacity() * sizeof(TSeriesInfo);
  for (const TSeriesInfo& info : m_info) {
    bytes += TextBytes(info.Index) + TextBytes(info.Label) + TextBytes(info.Column) +
             TextBytes(info.Target) + TextBytes(info.PolledOid) + TextBytes(info.SliceLabel);
  }
  bytes += m_events.Bytes();
  for (size_t f = 0; f < m_frames.Size(); ++f)
    bytes += m_frames[f].Slices.capacity() * sizeof(TFrameSlice);
  // The key table: a bucket pointer each, and a node of its key, its value and a link.
  bytes += m_byKey.bucket_count() * sizeof(void*);
  for (const auto& [key, series] : m_byKey)
    bytes += sizeof(std::pair<const std::string, int>) + 2 * sizeof(void*) + TextBytes(key);
  return bytes;
}

void THistoryStore::Restore(std::vector<TSeriesInfo> info, std::vector<TSeriesData> series,
                            uint64_t firstPoll, std::vector<THistoryFrame> frames,
                            std::vector<TRankEvent> events) {
  m_series = std::move(series);
  m_info = std::move(info);
  m_info.resize(m_series.size());
  m_byKey.clear();  // polls after a recording are rows of their own
  m_layout = nullptr;
  m_layoutHeld.reset();
  m_slotSeries.clear();
  m_firstPoll = firstPoll;
  m_firstMinute = std::numeric_limits<int64_t>::min();
  m_frames.Clear();
  for (THistoryFrame& frame : frames) m_frames.PushBack(std::move(frame));
  m_events.Clear();
  for (const TRankEvent& event : events) m_events.PushBack(event);
  m_lastEvents.clear();
  m_tracker = TRankTracker(m_tracker.Places());
  m_threshold.Reset();
}

}  // namespace kestrava
