#pragma once
// TSlotStore: the value slots of a session and their histories, and the evaluation of a poll:
// each answered value goes into its slot's history (the 32-bit wrap rule applied), the formulas
// are computed row by row, and every history is brought back to its five newest entries. It also
// gives the current value of a slot, raw or delta, which is where a delta is computed.
// The grid: one row per instance and W = T + F columns (T plain targets, then F formulas);
// slot = row x W + column.
// Thread: the window's thread only.

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/sample.h"

namespace kestrava {

// The five newest values of one slot: a ring whose newest entry is at m_newest. Appending drops
// the oldest, which is what appending and trimming to five comes to.
inline constexpr int kHistoryLength = 5;
class THistory {
 public:
  // Entry 0 (oldest) to 4 (newest).
  const TSample& At(int index) const { return m_entries[(m_newest + 1 + index) % kHistoryLength]; }
  const TSample& Newest() const { return m_entries[m_newest]; }
  void Push(TSample sample) {
    m_newest = (m_newest + 1) % kHistoryLength;
    m_entries[m_newest] = std::move(sample);
  }

 private:
  std::array<TSample, kHistoryLength> m_entries{};
  int m_newest = kHistoryLength - 1;
};

// A slot's current value: the newest sample (raw) or its change since the one before (delta).
struct TCurrentValue {
  bool Present = false;
  bool Negative = false;
  bool Whole = false;
  unsigned __int128 Magnitude = 0;  // whole values
  long double Number = 0;           // every value, as a number
};

// What a poll knows of its counters besides their values.
struct TPollFacts {
  // The agent's uptime went back since the poll before (it restarted): no value of this poll
  // is a change from the one before it.
  bool Restarted = false;
  // Whether a Counter32 of this slot that is lower than at the poll before wrapped exactly
  // once in between, counting `unwrapped` since then (empty: never known; such a fall follows
  // the 32-bit wrap rule).
  std::function<bool(int slot, uint64_t unwrapped)> WrappedOnce;
};

class TSlotStore {
 public:
  // targets and formulas fix the columns; rows start at 0.
  void Reset(std::vector<std::string> targetOids, std::vector<std::string> formulas);

  int Width() const { return m_width; }
  int Rows() const { return m_width == 0 ? 0 : static_cast<int>(m_histories.size()) / m_width; }
  int SlotCount() const { return static_cast<int>(m_histories.size()); }

  // Rows with five "Null" in every slot.
  void SetRows(int rows);
  void AppendRow();
  void RemoveRow(int row);

  // One evaluated poll: the (slot, value) pairs in the order the answers came (slots outside the
  // grid are dropped), then the formulas of `rows` rows with the polling interval; every history
  // keeps its five newest entries.
  void Evaluate(const std::vector<std::pair<int, TSample>>& answers, int interval, int rows,
                const TPollFacts& facts = {});
  // Drops the oldest entry of every history and appends "Null", so that the next delta of every
  // slot is Null (the polling interval changed, the agent restarted).
  void BreakDeltas(TNullReason reason = TNullReason::kNoValue);
  // The newest value of a slot and the one before it (Null for a slot outside the grid).
  const TSample& Newest(int slot) const;
  const TSample& Previous(int slot) const;

  // Position 0 (oldest) to 4 (newest) as text: the entry itself (raw) or its change since the
  // entry before, with one decimal (delta); "Null" when missing.
  std::string SlotValue(int position, int slot, bool raw) const;
  // The entries of one slot as text, oldest first (empty for a slot outside the grid).
  std::vector<std::string> History(int slot) const;

 private:
  void EvaluateFormulas(int interval, int rows);
  // The newest value of the target that claims oid, in this row, as a formula binding sees it.
  std::string LatestTargetValue(const std::string& oid, int row) const;

  std::vector<std::string> m_targetOids;
  std::vector<std::string> m_formulas;
  int m_width = 0;
  std::vector<THistory> m_histories;
};

}  // namespace kestrava
