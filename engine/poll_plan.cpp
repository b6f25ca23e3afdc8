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
  m_oidList.clear();
  m_oidList.reserve(rows.size() * m_targetOids.size() * 32);
  for (const TInstance& row : rows) {
    suffixes.push_back(row.Suffix);
    for (const std::string& target : m_targetOids) {
      m_oidList += target;
      m_oidList += row.Suffix;
      m_oidList += kItemSeparator;
    }
  }
  m_oidCount = static_cast<int>(rows.size() * m_targetOids.size());
  m_index.Rebuild(m_targetOids, m_instanceMode, suffixes,
                  m_width - static_cast<int>(m_targetOids.size()));
}

void TPollPlan::BeginRound(int expected) {
  m_expected = expected;
  m_round.clear();
}

bool TPollPlan::Add(std::string_view oid, TSample value) {
  m_round.emplace_back(m_index.SlotOfOid(oid), std::move(value));
  return static_cast<int>(m_round.size()) >= m_expected;
}

std::vector<std::pair<int, TSample>> TPollPlan::TakeRound() {
  std::vector<std::pair<int, TSample>> round;
  round.swap(m_round);
  m_round.reserve(round.size());
  return round;
}

}  // namespace kestrava
