#include "engine/poll_plan.h"

#include "shared/item_list.h"

namespace kestrava {

void TPollPlan::Reset(std::vector<std::string> targetOids, int formulaCount, int instanceMode) {
  m_targetOids = std::move(targetOids);
  m_width = static_cast<int>(m_targetOids.size()) + formulaCount;
  m_instanceMode = instanceMode;
  SetRows({});
  BeginRound(0);
}

void TPollPlan::SetRows(const std::vector<TInstance>& rows) {
  std::vector<std::string> suffixes;
  suffixes.reserve(rows.size());
  ++m_generation;
  m_oidList.clear();
  m_oidList.reserve(rows.size() * m_targetOids.size() * 32);
  m_oidSpans.clear();
  for (const TInstance& row : rows) {
    suffixes.push_back(row.Suffix);
    for (const std::string& target : m_targetOids) {
      const size_t start = m_oidList.size();
      m_oidList += target;
      m_oidList += row.Suffix;
      m_oidSpans.emplace_back(static_cast<uint32_t>(start),
                              static_cast<uint32_t>(m_oidList.size() - start));
      m_oidList += kItemSeparator;
    }
  }
  m_oidCount = static_cast<int>(m_oidSpans.size());
  m_index.Rebuild(m_targetOids, m_instanceMode, suffixes,
                  m_width - static_cast<int>(m_targetOids.size()));
  m_slotAt.clear();
  for (const auto& [start, length] : m_oidSpans)
    m_slotAt.push_back(m_index.SlotOfOid(std::string_view(m_oidList).substr(start, length)));
}

void TPollPlan::BeginRound(int expected) {
  m_expected = expected;
  m_round.clear();
}

bool TPollPlan::Add(std::string_view oid, TSample value, int position) {
  int slot = -1;
  if (position >= 0 && position < m_oidCount &&
      std::string_view(m_oidList).substr(m_oidSpans[static_cast<size_t>(position)].first,
                                         m_oidSpans[static_cast<size_t>(position)].second) == oid) {
    slot = m_slotAt[static_cast<size_t>(position)];
  } else {
    slot = m_index.SlotOfOid(oid);
  }
  m_round.emplace_back(slot, std::move(value));
  return static_cast<int>(m_round.size()) >= m_expected;
}

const std::vector<std::pair<int, TSample>>& TPollPlan::TakeRound() {
  m_taken.swap(m_round);
  m_round.clear();
  return m_taken;
}

}  // namespace kestrava
