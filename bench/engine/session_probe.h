#pragma once
// TSessionProbe: sets up a polling session's state directly (targets, rows found by a walk,
// histories, the poll job) and hands it one whole poll's answers, so that benchmarks measure the
// answers' way into the histories, the evaluation and the feed alone.
// Thread: the window's (main) thread; no worker, no component.

#include <string>
#include <utility>
#include <vector>

#include "engine/session.h"
#include "engine/session_setup.h"
#include "shared/item_list.h"

namespace kestrava {

class TSessionProbe {
 public:
  using TAnswers = std::vector<std::pair<std::string, std::string>>;

  // `instances` rows of `targets` targets each, ALL INSTANCES, labels "ethN".
  static void Setup(TSession& s, int instances, int targets) {
    TConfigRec& c = s.m_config;
    c.InstanceMode = kInstanceModeAllInstances;
    c.HasLabelOid = true;
    c.LabelOid = "1.3.6.1.2.1.2.2.1.2";
    c.TargetOids.clear();
    c.TargetVisibility.clear();
    for (int t = 0; t < targets; ++t) {
      c.TargetOids.push_back("1.3.6.1.2.1.2.2.1." + std::to_string(10 + t));
      c.TargetVisibility.push_back("0");
    }
    c.SliceItems = DefaultSliceItems();
    c.SliceIndex = 4;  // "12"
    s.m_discovery.Reset(c.LabelOid, "");
    s.m_discovery.StartWalk();
    for (int i = 1; i <= instances; ++i) {
      const std::string oid = c.LabelOid + "." + std::to_string(i);
      s.m_discovery.Step(oid, TWalkBinding::kRow, "eth" + std::to_string(i - 1));
    }
    s.m_plan.Reset(c.TargetOids, 0, c.InstanceMode);
    s.m_slots.Reset(c.TargetOids, {});
    s.m_slots.SetRows(instances);
    s.RowsChanged();
    s.StartPolling(false);
  }
  // The answers of one whole poll: every OID with value base + its position.
  static TAnswers Results(const TSession& s, uint64_t base) {
    TAnswers out;
    std::string_view list = s.m_plan.OidList();
    std::string_view oid;
    for (uint64_t i = 0; NextItemView(list, oid); ++i)
      out.emplace_back(std::string(oid), std::to_string(base + i * 7));
    return out;
  }
  // Every answer into the poll's collection, as the answers of the poll's requests bring them;
  // the last one completes it: evaluation and feed.
  static void AnswerPoll(TSession& s, const TAnswers& answers) {
    for (const auto& [oid, value] : answers) {
      if (s.m_plan.Add(oid, TSample::FromText(value))) s.EvaluatePoll();
    }
  }
};

}  // namespace kestrava
