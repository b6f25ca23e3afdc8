#include "engine/discovery.h"

#include <algorithm>
#include <exception>

#include "engine/session.h"
#include "shared/item_list.h"

namespace kestrava {

namespace {

// Components of a dotted text with a "." appended, as the mask rules cut them.
std::vector<std::string> Components(const std::string& text) {
  std::vector<std::string> out;
  std::string rest = text + ".";
  size_t start = 0;
  for (size_t dot = rest.find('.'); dot != std::string::npos; dot = rest.find('.', start)) {
    out.push_back(rest.substr(start, dot - start));
    start = dot + 1;
  }
  return out;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

const std::string kNonIncreasing = "The agent returned an OID out of order; the walk ended there";
const std::string kNothingFound = "No instances found!";

}  // namespace

bool OidGreater(const std::string& a, const std::string& b) {
  const std::vector<std::string> left = Components(a);
  const std::vector<std::string> right = Components(b);
  const size_t n = std::min(left.size(), right.size());
  for (size_t i = 0; i < n; ++i) {
    const std::string& l = left[i];
    const std::string& r = right[i];
    if (l == r) continue;
    // Sub-identifiers are decimal without leading zeros: the longer one is the greater.
    if (l.size() != r.size()) return l.size() > r.size();
    return l > r;
  }
  return left.size() > right.size();
}

std::vector<std::string> MaskEntries(const std::string& mask, const std::string& instance) {
  std::vector<std::string> entries;
  const std::vector<std::string> maskParts = Components(mask);
  const std::vector<std::string> parts = Components(instance.empty() ? "" : instance.substr(1));
  for (size_t i = 0; i < maskParts.size(); ++i) {
    if (maskParts[i] != "RT") continue;
    entries.push_back(ReplaceAll(mask, "RT", i < parts.size() ? parts[i] : ""));
  }
  return entries;
}

bool TSession::InLabelColumn(const std::string& oid) const {
  // A column ends at a "." boundary: "...1.2" does not claim "...1.20.1".
  const std::string& label = m_config.LabelOid;
  return oid.size() > label.size() + 1 && oid.compare(0, label.size(), label) == 0 &&
         oid[label.size()] == '.';
}

bool TSession::TakesInstance(const std::string& suffix) const {
  const std::string& mask = m_config.InstanceMask;
  return mask.empty() || mask.find("RT") != std::string::npos || MatchInstance(suffix, mask);
}

void TSession::StartInstanceWalk() {
  m_instances.clear();
  m_instanceDescrs.clear();
  InstancesChanged();
  try {
    SendWalkStep(m_sessionRequest, m_config.LabelOid, kPurposeDiscovery);
  } catch (const std::exception& error) {
    StopDiscovery(error.what());
  }
}

void TSession::SendWalkStep(TRequest& walk, const std::string& oid, int32_t purpose) {
  walk.OidList.clear();
  AppendItem(walk.OidList, oid);
  walk.TriesLeft = 5;
  walk.Purpose = purpose;
  DispatchRequest(walk, false);
}

void TSession::StopDiscovery(const std::string& message) {
  m_window.ShowStatus(message);
  m_window.SessionStopped(message);
}

void TSession::WalkStep(const std::string& oid, const std::string& value,
                        const std::string& asked) {
  const std::string suffix =
      oid.size() > m_config.LabelOid.size() ? oid.substr(m_config.LabelOid.size()) : std::string();
  const std::string last = m_instances.empty() ? std::string() : m_instances.back();
  if (!InLabelColumn(oid) || suffix == last) {
    EndDiscovery("");
    return;
  }
  if (!OidGreater(oid, asked)) {
    // An agent that goes back or stands still would keep the walk going for ever.
    EndDiscovery(kNonIncreasing);
    return;
  }
  if (TakesInstance(suffix)) {
    m_instances.push_back(suffix);
    m_foundInstances.push_back(suffix);
    m_instanceDescrs.push_back(value);
    m_foundDescrs.push_back(value);
    m_window.ShowStatus("Instance " + suffix + " detected");
  }
  try {
    SendWalkStep(m_sessionRequest, oid, kPurposeDiscovery);
  } catch (const std::exception& error) {
    StopDiscovery(error.what());
  }
}

void TSession::EndDiscovery(const std::string& note) {
  m_window.ClearStatus();
  if (m_instances.empty()) {
    StopDiscovery(note.empty() ? kNothingFound : note);
    return;
  }
  InstancesChanged();
  if (m_config.InstanceMode == kInstanceModeAtRuntime) {
    for (const std::string& found : m_foundInstances) {
      for (const std::string& entry : MaskEntries(m_config.InstanceMask, found)) {
        if (std::find(m_instanceMaskItems.begin(), m_instanceMaskItems.end(), entry) ==
            m_instanceMaskItems.end())
          m_instanceMaskItems.push_back(entry);
      }
    }
    m_window.SetInstanceMaskList(m_instanceMaskItems, -1);
    m_window.SetInstanceGroupVisible(true);
    m_window.SetSlicesGroupVisible(true);
    m_window.EnableToolbar(true);
    if (!note.empty()) m_window.ShowStatus(note);
    if (!m_config.PreferredInstance.empty()) {
      const auto at = std::find(m_instanceMaskItems.begin(), m_instanceMaskItems.end(),
                                m_config.PreferredInstance);
      m_instanceMaskIndex =
          at == m_instanceMaskItems.end() ? -1 : static_cast<int>(at - m_instanceMaskItems.begin());
      m_window.SetInstanceMaskList(m_instanceMaskItems, m_instanceMaskIndex);
      SelectInstances();
    } else if (note.empty()) {
      m_window.ShowStatus("Select an instance from the Inst. listbox!");
    }
  } else if (m_config.InstanceMode == kInstanceModeAllInstances) {
    m_config.LastSlot = ComputeLastSlot();
    CreateHistories();
    StartPolling();
    m_window.SetSlicesGroupVisible(true);
    m_window.EnableToolbar(true);
    if (!note.empty()) m_window.ShowStatus(note);
  }
}

void TSession::SelectInstances() {
  try {
    m_window.SetInitializingVisible(true);
    if (m_firstSelection) {
      m_firstSelection = false;
    } else {
      FreeHistories();
    }
    m_instances.clear();
    m_instanceDescrs.clear();
    // Rows and slots stay consistent even when no entry is picked below.
    m_config.LastSlot = ComputeLastSlot();
    InstancesChanged();
    if (m_instanceMaskIndex < 0 ||
        m_instanceMaskIndex >= static_cast<int>(m_instanceMaskItems.size()))
      return;
    // The picked entry replaces the configured mask for good.
    m_config.InstanceMask = m_instanceMaskItems[m_instanceMaskIndex];
    for (size_t i = 0; i < m_foundInstances.size(); ++i) {
      if (MatchInstance(m_foundInstances[i], m_config.InstanceMask)) {
        m_instances.push_back(m_foundInstances[i]);
        m_instanceDescrs.push_back(m_foundDescrs[i]);
      }
    }
    m_config.LastSlot = ComputeLastSlot();
    CreateHistories();
    InstancesChanged();
    BuildPollOidList();
    m_schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &m_sessionRequest);
    m_window.SetIntervalGroupVisible(true);
    m_window.ClearStatus();
  } catch (const std::exception&) {
  }
}

void TSession::BuildPollOidList() {
  std::string list;
  list.reserve(m_instances.size() * m_config.TargetOids.size() * 32);
  for (const std::string& instance : m_instances) {
    for (const std::string& target : m_config.TargetOids) {
      list += target;
      list += instance;
      list += kItemSeparator;
    }
  }
  m_sessionRequest.OidList = std::move(list);
}

void TSession::StartPolling() {
  BuildPollOidList();
  m_schedule.ScheduleOp(kScheduleAddPoll, kPollJobKind, &m_sessionRequest);
  m_window.SetIntervalGroupVisible(true);
}

void TSession::CheckInstanceRefresh() {
  const double now = m_clock.NowDays();
  if (m_lastRefresh != 0 && ElapsedMs(m_lastRefresh, now) / 1000 <= 5) return;
  m_lastRefresh = now;
  m_refreshFound.clear();
  m_refreshDescrs.clear();
  m_refreshRequest = m_sessionRequest;
  m_refreshRequest.Operation = 2;
  try {
    SendWalkStep(m_refreshRequest, m_config.LabelOid, kPurposeRefresh);
  } catch (const std::exception& error) {
    m_window.ShowStatus(error.what());
  }
}

void TSession::RefreshStep(const std::string& oid, const std::string& value,
                           const std::string& asked) {
  try {
    const std::string suffix = oid.size() > m_config.LabelOid.size()
                                   ? oid.substr(m_config.LabelOid.size())
                                   : std::string();
    const std::string last = m_refreshFound.empty() ? std::string() : m_refreshFound.back();
    if (!InLabelColumn(oid) || suffix == last) {
      EndRefresh();
      return;
    }
    if (!OidGreater(oid, asked)) {
      m_window.ShowStatus(kNonIncreasing);
      EndRefresh();
      return;
    }
    if (TakesInstance(suffix)) {
      m_refreshFound.push_back(suffix);
      m_refreshDescrs.push_back(value);
    }
    SendWalkStep(m_refreshRequest, oid, kPurposeRefresh);
  } catch (const std::exception& error) {
    m_window.ShowStatus(error.what());
  }
}

void TSession::EndRefresh() {
  if (m_refreshFound.empty()) return;
  const int width = Width();
  bool changed = false;
  for (size_t row = 0; row < m_instances.size();) {
    const std::string gone = m_instances[row];
    if (IndexOfExact(gone, m_refreshFound) >= 0) {
      ++row;
      continue;
    }
    RemoveInstanceSlots(static_cast<int>(row), width);
    m_instances.erase(m_instances.begin() + row);
    m_instanceDescrs.erase(m_instanceDescrs.begin() + row);
    // The found entry of the same instance goes too (rows may be a subset of what was found).
    const int found = IndexOfExact(gone, m_foundInstances);
    if (found >= 0) {
      m_foundInstances.erase(m_foundInstances.begin() + found);
      m_foundDescrs.erase(m_foundDescrs.begin() + found);
    }
    m_config.LastSlot = ComputeLastSlot();
    changed = true;
  }
  const bool runtimeMask = m_config.InstanceMask.find("RT") != std::string::npos;
  for (size_t i = 0; i < m_refreshFound.size(); ++i) {
    const std::string& fresh = m_refreshFound[i];
    if (IndexOfExact(fresh, m_instances) >= 0) continue;
    if (runtimeMask) {
      if (m_instanceMaskIndex < 0 ||
          m_instanceMaskIndex >= static_cast<int>(m_instanceMaskItems.size()) ||
          !MatchInstance(fresh, m_instanceMaskItems[m_instanceMaskIndex]))
        continue;
    }
    for (int s = m_config.LastSlot + 1; s <= m_config.LastSlot + width; ++s) CreateHistory(s);
    m_instances.push_back(fresh);
    m_instanceDescrs.push_back(m_refreshDescrs[i]);
    if (IndexOfExact(fresh, m_foundInstances) < 0) {
      m_foundInstances.push_back(fresh);
      m_foundDescrs.push_back(m_refreshDescrs[i]);
    }
    m_config.LastSlot = ComputeLastSlot();
    changed = true;
  }
  if (changed) {
    InstancesChanged();
    StartPolling();
    FeedChart();
  }
}

void TSession::RemoveInstanceSlots(int row, int width) {
  const int first = row * width;
  if (first < 0 || width <= 0 || first >= static_cast<int>(m_histories.size())) return;
  const int last = std::min(first + width, static_cast<int>(m_histories.size()));
  m_histories.erase(m_histories.begin() + first, m_histories.begin() + last);
}

}  // namespace kestrava
