#include "engine/slot_store.h"

#include "shared/formula.h"
#include "shared/instance_helpers.h"
#include "shared/number_text.h"

namespace kestrava {

void TSlotStore::Reset(std::vector<std::string> targetOids, std::vector<std::string> formulas) {
  m_targetOids = std::move(targetOids);
  m_formulas = std::move(formulas);
  m_width = static_cast<int>(m_targetOids.size() + m_formulas.size());
  m_histories.clear();
}

void TSlotStore::SetRows(int rows) {
  m_histories.assign(static_cast<size_t>(std::max(0, rows * m_width)), THistory());
}

void TSlotStore::AppendRow() {
  m_histories.resize(m_histories.size() + static_cast<size_t>(m_width));
}

void TSlotStore::RemoveRow(int row) {
  const size_t first = static_cast<size_t>(row) * static_cast<size_t>(m_width);
  if (row < 0 || m_width <= 0 || first >= m_histories.size()) return;
  const size_t last = std::min(first + static_cast<size_t>(m_width), m_histories.size());
  m_histories.erase(m_histories.begin() + static_cast<std::ptrdiff_t>(first),
                    m_histories.begin() + static_cast<std::ptrdiff_t>(last));
}

void TSlotStore::Evaluate(const std::vector<std::pair<int, TSample>>& answers, int interval,
                          int rows, const TPollFacts& facts) {
  if (facts.Restarted) BreakDeltas(TNullReason::kRestarted);
  for (const auto& [slot, sample] : answers) {
    if (slot < 0 || slot >= SlotCount()) continue;
    THistory& history = m_histories[static_cast<size_t>(slot)];
    const TSample& previous = history.Newest();
    if (sample.IsCounter32() && sample.FellSince(previous) && facts.WrappedOnce &&
        facts.WrappedOnce(slot, sample.Magnitude() + (uint64_t{1} << 32) - previous.Magnitude())) {
      history.Push(sample.Unwrapped());
    } else {
      history.Push(sample.WrappedSince(previous) ? TSample::Null(TNullReason::kWrapped) : sample);
    }
  }
  EvaluateFormulas(interval, rows);
}

void TSlotStore::EvaluateFormulas(int interval, int rows) {
  const int targets = static_cast<int>(m_targetOids.size());
  for (int r = 0; r < rows; ++r) {
    for (int f = 0; f < static_cast<int>(m_formulas.size()); ++f) {
      const std::string result = EvaluateFormulaEntry(
          m_formulas[static_cast<size_t>(f)], interval,
          [this, r](const std::string& oid) { return LatestTargetValue(oid, r); });
      const int slot = r * m_width + targets + f;
      if (slot < SlotCount())
        m_histories[static_cast<size_t>(slot)].Push(TSample::FromText(result));
    }
  }
}

std::string TSlotStore::LatestTargetValue(const std::string& oid, int row) const {
  const int column = TargetIndex(oid, m_targetOids);
  const int slot = column + row * m_width;
  if (column < 0 || slot >= SlotCount()) return std::string(kNull);
  return m_histories[static_cast<size_t>(slot)].Newest().Text();
}

void TSlotStore::BreakDeltas(TNullReason reason) {
  for (THistory& history : m_histories) history.Push(TSample::Null(reason));
}

const TSample& TSlotStore::Newest(int slot) const {
  static const TSample kNone;
  return slot < 0 || slot >= SlotCount() ? kNone : m_histories[static_cast<size_t>(slot)].Newest();
}

const TSample& TSlotStore::Previous(int slot) const {
  static const TSample kNone;
  return slot < 0 || slot >= SlotCount()
             ? kNone
             : m_histories[static_cast<size_t>(slot)].At(kHistoryLength - 2);
}

std::string TSlotStore::SlotValue(int position, int slot, bool raw) const {
  if (slot < 0 || slot >= SlotCount() || position < 0 || position >= kHistoryLength)
    return std::string(kNull);
  const THistory& history = m_histories[static_cast<size_t>(slot)];
  if (raw) return history.At(position).Text();
  if (position < 1) return std::string(kNull);
  return DeltaText(Difference(history.At(position - 1), history.At(position)));
}

std::vector<std::string> TSlotStore::History(int slot) const {
  std::vector<std::string> out;
  if (slot < 0 || slot >= SlotCount()) return out;
  for (int i = 0; i < kHistoryLength; ++i)
    out.push_back(m_histories[static_cast<size_t>(slot)].At(i).Text());
  return out;
}

}  // namespace kestrava
