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

void TPollPlan::SetRows(const std::vector<TInstance>& rows, const TCounterFacts* facts) {
  std::vector<std::string> suffixes;
  suffixes.reserve(rows.size());
  ++m_generation;
  m_oidList.clear();
  m_oidList.reserve(rows.size() * m_targetOids.size() * 32);
  m_oidSpans.clear();
  m_twinSlots.clear();
  std::vector<bool> twin;
  for (const TInstance& row : rows) {
    suffixes.push_back(row.Suffix);
    for (const std::string& target : m_targetOids) {
      const size_t start = m_oidList.size();
      twin.push_back(facts && facts->HasTwin(target, row.Suffix));
      m_oidList += twin.back() ? TCounterFacts::TwinColumn(target) : target;
      m_oidList += row.Suffix;
      m_oidSpans.emplace_back(static_cast<uint32_t>(start),
                              static_cast<uint32_t>(m_oidList.size() - start));
      m_oidList += kItemSeparator;
    }
  }
  m_oidCount = static_cast<int>(m_oidSpans.size());
  m_index.Rebuild(m_targetOids, m_instanceMode, suffixes,
                  m_width - static_cast<int>(m_targetOids.size()));
  // The slot of every OID of the list; a twin stands for its target in its row.
  m_slotAt.clear();
  const int targets = static_cast<int>(m_targetOids.size());
  for (size_t i = 0; i < m_oidSpans.size(); ++i) {
    const std::string_view oid =
        std::string_view(m_oidList).substr(m_oidSpans[i].first, m_oidSpans[i].second);
    if (!twin[i]) {
      m_slotAt.push_back(m_index.SlotOfOid(oid));
      continue;
    }
    const int slot = static_cast<int>(i) / targets * m_width + static_cast<int>(i) % targets;
    m_slotAt.push_back(slot);
    m_twinSlots.emplace(std::string(oid), slot);
  }
}

void TPollPlan::BeginRound(int expected) {
  m_expected = expected;
  m_round.clear();
  m_handedOut = false;
  // Exactly the answers expected: growing by doubling would leave a third of it unused.
  if (expected > 0) m_round.reserve(static_cast<size_t>(expected));
}

bool TPollPlan::Add(std::string_view oid, TSample value, int position) {
  int slot = -1;
  if (position >= 0 && position < m_oidCount &&
      std::string_view(m_oidList).substr(m_oidSpans[static_cast<size_t>(position)].first,
                                         m_oidSpans[static_cast<size_t>(position)].second) == oid) {
    slot = m_slotAt[static_cast<size_t>(position)];
  } else {
    slot = m_index.SlotOfOid(oid);
    if (slot < 0 && !m_twinSlots.empty()) {
      const auto found = m_twinSlots.find(std::string(oid));
      if (found != m_twinSlots.end()) slot = found->second;
    }
  }
  if (m_handedOut) {
    m_round.clear();
    m_handedOut = false;
  }
  m_round.emplace_back(slot, std::move(value));
  return static_cast<int>(m_round.size()) >= m_expected;
}

const std::vector<std::pair<int, TSample>>& TPollPlan::TakeRound() {
  // A collection is handed out once; taken again at once, it is the new round's: empty.
  if (m_handedOut) m_round.clear();
  m_handedOut = true;
  return m_round;
}

}  // namespace kestrava
