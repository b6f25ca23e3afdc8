#pragma once
// Polls made by hand for the history's tests: a session of rows of one column in delta mode,
// each poll at the moment the test names, with the pie as the session orders it.
// Thread: the test's.

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/history_store.h"

namespace kestrava::testing {

inline constexpr int64_t kStart = 1'700'000'040'000;  // a whole minute
inline constexpr int64_t kMinute = 60'000;

// A session of `rows` rows of one column, polled in delta mode; rows are named "eth<i>".
class Polls {
 public:
  explicit Polls(int rows, int slices) : m_slices(slices) {
    auto layout = std::make_shared<TSnapshotLayout>();
    layout->Columns.push_back(TSnapshotColumn{"1.3.6.1.2.1.2.2.1.10", "In", false, true});
    for (int r = 0; r < rows; ++r) {
      layout->Rows.push_back(TSnapshotRow{"." + std::to_string(r + 1), "eth" + std::to_string(r)});
      layout->PolledOids.push_back("1.3.6.1.2.1.2.2.1.10." + std::to_string(r + 1));
      layout->SliceLabels.push_back("eth" + std::to_string(r));
    }
    m_layout = layout;
  }
  // One poll at timeMs, `elapsed` seconds after the one before, with each row's rate (NaN: no
  // value). With a link speed (bits per second) the poll is of the utilisation mode.
  TSnapshotPtr Make(int64_t timeMs, const std::vector<double>& rates, double elapsed = 1,
                    bool raw = false, double speed = 0) const {
    auto s = std::make_shared<TPollSnapshot>();
    const TValueMode mode = raw         ? TValueMode::kRaw
                            : speed > 0 ? TValueMode::kUtilisation
                                        : TValueMode::kDelta;
    s->Mode = mode;
    s->Fresh = true;
    s->TimeMs = timeMs;
    s->Elapsed = elapsed;
    s->RawValues = raw;
    s->Layout = m_layout;
    std::vector<TSliceCandidate> candidates;
    for (size_t r = 0; r < rates.size(); ++r) {
      TSlotReading reading;
      if (!std::isnan(rates[r])) {
        const auto whole = static_cast<uint64_t>(std::llround(rates[r] * elapsed));
        reading.Value = TSample::Whole(whole * 10);
        reading.Delta = TDelta{true, true, false, whole, static_cast<long double>(whole)};
        reading.HasRate = true;
        reading.Rate = rates[r];
        reading.Speed = speed;
        candidates.push_back(
            TSliceCandidate{static_cast<int>(r), KeyOf(ShownValue(reading, mode))});
      }
      s->Slots.push_back(reading);
    }
    BuildPie(
        candidates, m_slices,
        [this](int slot) -> const std::string& {
          return m_layout->SliceLabels[static_cast<size_t>(slot)];
        },
        s->Pie);
    return s;
  }

 private:
  int m_slices;
  std::shared_ptr<const TSnapshotLayout> m_layout;
};

// Polls every second from kStart for `seconds` seconds; rate(row, second) gives the values.
inline void PollEverySecond(THistoryStore& store, const Polls& polls, int rows, int seconds,
                            const std::function<double(int row, int second)>& rate, int first = 0) {
  std::vector<double> rates(static_cast<size_t>(rows));
  for (int t = first; t < first + seconds; ++t) {
    for (int r = 0; r < rows; ++r) rates[static_cast<size_t>(r)] = rate(r, t);
    store.TakeSnapshot(polls.Make(kStart + t * 1000LL, rates));
  }
}

}  // namespace kestrava::testing
