#pragma once
// TPollPlan: what one poll asks for and where its answers go. The OID list holds, row by row,
// every target's OID followed by the row's instance suffix; an answered OID finds its slot
// through a hashed index of the same targets and rows. The answers of one poll are collected
// here until there is one for every OID asked (an answer that failed counts as "Null"); the
// collection is then handed over whole, for one evaluation.
// Thread: the window's thread only.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/counter_facts.h"
#include "engine/discovery.h"
#include "engine/sample.h"
#include "shared/instance_helpers.h"

namespace kestrava {

class TPollPlan {
 public:
  // The targets (with the formula count, for the width of a row) and the instance mode.
  void Reset(std::vector<std::string> targetOids, int formulaCount, int instanceMode);

  // The rows changed: the OID list and the index are made again. With facts, a row's interface
  // octet counter is asked for as its 64-bit twin where the row has one.
  void SetRows(const std::vector<TInstance>& rows, const TCounterFacts* facts = nullptr);
  // How many slots are polled through a 64-bit twin.
  int TwinCount() const { return static_cast<int>(m_twinSlots.size()); }
  bool PollsTwin(std::string_view oid) const { return m_twinSlots.count(std::string(oid)) > 0; }
  const std::string& OidList() const { return m_oidList; }
  // Counts the changes of rows, so that a poll job can tell whether it asks for this list.
  uint64_t Generation() const { return m_generation; }
  int OidCount() const { return m_oidCount; }
  int SlotOfOid(std::string_view oid) const { return m_index.SlotOfOid(oid); }
  // Every OID of the list with its slot, in list order.
  template <typename Visit>
  void ForEachPolled(Visit&& visit) const {
    for (size_t i = 0; i < m_oidSpans.size(); ++i)
      visit(m_slotAt[i],
            std::string_view(m_oidList).substr(m_oidSpans[i].first, m_oidSpans[i].second));
  }

  // A new poll run (or a new poll job) starts a new collection of `expected` answers.
  void BeginRound(int expected);
  // Adds one answer; true when the collection is complete. position is where the OID stands
  // in the OID list when the answer keeps the order it was asked in (-1: not known); the slot is
  // then taken from there, else looked up.
  bool Add(std::string_view oid, TSample value, int position = -1);
  // The complete collection, in the order the answers came; the round starts over. Valid until
  // the next Add, BeginRound or TakeRound.
  const std::vector<std::pair<int, TSample>>& TakeRound();

 private:
  std::vector<std::string> m_targetOids;
  int m_width = 0;
  int m_instanceMode = 0;
  std::string m_oidList;
  int m_oidCount = 0;
  uint64_t m_generation = 0;
  // Where each OID of the list starts and ends, and its slot.
  std::vector<std::pair<uint32_t, uint32_t>> m_oidSpans;
  std::vector<int> m_slotAt;
  TSlotIndex m_index;
  std::unordered_map<std::string, int> m_twinSlots;  // twin OID -> slot
  int m_expected = 0;
  // One collection that keeps its room, sized for the answers expected; once handed out it
  // starts over at the next answer or round.
  std::vector<std::pair<int, TSample>> m_round;
  bool m_handedOut = false;
};

}  // namespace kestrava
