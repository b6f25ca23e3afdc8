#pragma once
// TSessionProbe: sets up a polling session's state directly (targets, rows, histories, the poll
// job) and runs one evaluation, so that benchmarks measure EvaluatePoll + FeedChart alone.
// Thread: the window's (main) thread; no worker, no component.

#include <string>

#include "engine/dispatch.h"
#include "engine/session.h"
#include "shared/item_list.h"

namespace kestrava {

class TSessionProbe {
 public:
  // `instances` rows of `targets` targets each, ALL INSTANCES, labels "ethN".
  static void Setup(TSession& s, int instances, int targets) {
    s.m_config.InstanceMode = kInstanceModeAllInstances;
    s.m_config.HasLabelOid = true;
    s.m_config.LabelOid = "1.3.6.1.2.1.2.2.1.2";
    s.m_config.TargetOids.clear();
    s.m_config.TargetVisibility.clear();
    for (int t = 0; t < targets; ++t) {
      s.m_config.TargetOids.push_back("1.3.6.1.2.1.2.2.1." + std::to_string(10 + t));
      s.m_config.TargetVisibility.push_back("0");
    }
    s.m_config.SliceItems = {"Any", "30", "23", "17", "12", "8", "5", "3"};
    s.m_config.SliceIndex = 4;  // "12"
    s.m_instances.clear();
    s.m_instanceDescrs.clear();
    for (int i = 1; i <= instances; ++i) {
      s.m_instances.push_back("." + std::to_string(i));
      s.m_instanceDescrs.push_back("eth" + std::to_string(i - 1));
    }
    s.m_config.LastSlot = s.ComputeLastSlot();
    s.CreateHistories();
    s.InstancesChanged();
    s.BuildPollOidList();
    s.m_schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &s.m_sessionRequest);
  }
  // The answers of one whole poll: every OID with value base + its position.
  static std::string Results(const TSession& s, uint64_t base) {
    std::string out;
    std::string_view list = s.m_sessionRequest.OidList;
    std::string_view oid;
    for (uint64_t i = 0; NextItemView(list, oid); ++i) {
      AppendItem(out, oid);
      AppendItem(out, std::to_string(base + i * 7));
    }
    return out;
  }
  static void Answer(TSession& s, const std::string& results) {
    s.m_schedule.AppendResults(kPollJobKind, results);
  }
  static void EvaluatePoll(TSession& s) { s.EvaluatePoll(kPollJobKind); }
};

}  // namespace kestrava
