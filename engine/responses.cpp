#include "engine/responses.h"

#include <charconv>
#include <cmath>
#include <exception>

#include "engine/dispatch.h"
#include "engine/session.h"
#include "shared/formula.h"
#include "shared/item_list.h"
#include "snmp/snmpmgr.h"

namespace kestrava {

namespace {
const std::string kNull = "Null";
constexpr uint64_t kWrapLimit = 2147483648u;  // 2^31: a 32-bit counter that fell below it wrapped
constexpr int kNoSuchName = 2;
}  // namespace

bool BothPresent(const std::string& a, const std::string& b) {
  return a != kNull && b != kNull;
}

bool ParseWhole(std::string_view text, uint64_t& value) {
  if (text.size() >= 3 && text.substr(text.size() - 3) == ".00") {
    text.remove_suffix(3);
  } else if (text.size() >= 2 && text.substr(text.size() - 2) == ".0") {
    text.remove_suffix(2);
  }
  if (text.empty() || text.size() > 20) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseNumber(const std::string& text, long double& value) {
  uint64_t whole = 0;
  if (ParseWhole(text, whole)) {
    value = static_cast<long double>(whole);  // exact: a long double holds 64 bits
    return true;
  }
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  if (first == last) return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && std::isfinite(value);
}

std::string SlotValue(const std::vector<std::string>& history, int position, bool raw) {
  const int n = static_cast<int>(history.size());
  const int index = position - (5 - n);
  if (index < 0 || index >= n) return kNull;
  if (raw) return history[index];
  if (index < 1 || !BothPresent(history[index - 1], history[index])) return kNull;
  uint64_t before = 0;
  uint64_t after = 0;
  if (ParseWhole(history[index - 1], before) && ParseWhole(history[index], after)) {
    // Counters: the difference in whole numbers, every digit kept.
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits,
                                   after >= before ? after - before : before - after)
                         .ptr;
    std::string text = after >= before ? std::string() : std::string("-");
    text.append(digits, end);
    text += ".0";
    return text;
  }
  long double previous = 0;
  long double current = 0;
  if (!ParseNumber(history[index - 1], previous) || !ParseNumber(history[index], current))
    return kNull;
  // Fixed point with one decimal at full width: a 64-bit counter's delta keeps every digit.
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, current - previous,
                                          std::chars_format::fixed, 1);
  if (error != std::errc()) return kNull;
  return std::string(buffer, end);
}

std::string ResponseErrorText(const std::string& description, int errorIndex, int errorStatus) {
  return description + " Index=" + std::to_string(errorIndex) +
         " Status=" + std::to_string(errorStatus);
}

std::string ErrorCodeText(const std::string& description, int errorCode) {
  return description + " ErrorCode=" + std::to_string(errorCode);
}

std::string TSession::SlotValue(int position, int slot) const {
  return kestrava::SlotValue(History(slot), position, m_config.RawValues);
}

void TSession::SnmpMgr1Error(int errorCode, const std::string& description) {
  const std::string text = ErrorCodeText(description, errorCode);
  m_handOver->Defer([this, text] { m_window.ShowStatus(text); });
}

void TSession::SnmpMgr1BadPacket(int errorCode, const std::string& errorDescription) {
  const std::string text = ErrorCodeText(errorDescription, errorCode);
  m_handOver->Defer([this, text] { m_window.ShowStatus(text); });
}

void TSession::SnmpMgr1Response(int requestId, int errorIndex, int errorStatus,
                                const std::string& errorDescription) {
  TAnswer answer{requestId, errorIndex, errorStatus, errorDescription, {}, {}};
  {
    // Normally the gate holds the component lock for the whole delivery already.
    std::unique_lock<std::mutex> lock(m_componentLock, std::defer_lock);
    if (!m_gate || !m_gate->Held()) lock.lock();
    try {
      const int n = m_snmpMgr1->ObjCount();
      answer.Objects.reserve(n);
      for (int i = 1; i <= n; ++i)
        answer.Objects.emplace_back(m_snmpMgr1->ObjId(i), m_snmpMgr1->ObjValue(i));
      if (n == 0) m_snmpMgr1->ObjId(0);  // an answer without objects: the component says why
    } catch (const std::exception& error) {
      // Nothing escapes into the component's receive path.
      answer.Objects.clear();
      answer.ObjectError = error.what();
    }
  }
  m_handOver->Defer([this, answer] { ProcessResponse(answer); });
}

void TSession::ProcessResponse(const TAnswer& answer) {
  const std::optional<TRequestTable::TClaim> claim = m_requestTable.Claim(answer.RequestId);
  if (!claim) return;
  // A record answered or expired before is done with: a duplicate or late answer would add a
  // second set of values to the poll (or a second step to a walk).
  if (claim->WasFinished) {
    m_requestTable.Release(*claim);
    return;
  }
  const TRequest& record = claim->Request;
  const int errorStatus = answer.ErrorStatus;
  std::string asked = record.OidList;
  if (!asked.empty() && asked.back() == kItemSeparator) asked.pop_back();
  try {
    if (record.Purpose == kPurposeRefresh || record.Purpose == kPurposeDiscovery) {
      const bool discovery = record.Purpose == kPurposeDiscovery;
      if (errorStatus == kNoSuchName && record.SnmpVersion == 1) {
        // How an SNMPv1 agent says that the walk ran past the end of its view.
        if (discovery) {
          EndDiscovery("");
        } else {
          EndRefresh();
        }
      } else if (errorStatus != 0) {
        if (discovery)
          StopDiscovery(ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, errorStatus));
      } else if (answer.Objects.empty()) {
        // An answer without objects ends the walk with the component's message.
        if (discovery) {
          StopDiscovery(answer.ObjectError);
        } else {
          m_window.ShowStatus(answer.ObjectError);
        }
      } else if (discovery) {
        WalkStep(answer.Objects.back().first, answer.Objects.back().second, asked);
      } else {
        RefreshStep(answer.Objects.back().first, answer.Objects.back().second, asked);
      }
    } else {
      std::string items;
      if (errorStatus != 0) {
        m_window.ShowStatus(
            ResponseErrorText(answer.ErrorDescription, answer.ErrorIndex, errorStatus));
        std::string_view list = record.OidList;
        std::string_view oid;
        while (NextItemView(list, oid)) {
          AppendItem(items, oid);
          AppendItem(items, kNull);
        }
      } else {
        for (const auto& [oid, value] : answer.Objects) {
          AppendItem(items, oid);
          // A value holding the separator would shift every later pair.
          AppendItem(items, value.find(kItemSeparator) == std::string::npos ? value : kNull);
        }
      }
      if (m_schedule.AppendResults(record.OwnerJob, items)) EvaluatePoll(record.OwnerJob);
    }
  } catch (const std::exception& error) {
    m_window.ShowStatus(error.what());
  }
  m_requestTable.Release(*claim);
}

void TSession::EvaluatePoll(int32_t jobKind) {
  std::string results;
  int32_t interval = 0;
  if (!m_schedule.TakeCompleteResults(jobKind, results, interval)) return;
  std::string_view rest = results;
  std::string_view oid;
  std::string_view value;
  std::string text;
  while (NextItemView(rest, oid) && NextItemView(rest, value)) {
    const int slot = m_slotIndex.SlotOfOid(oid);
    if (slot < 0 || slot >= static_cast<int>(m_histories.size())) continue;
    std::vector<std::string>& history = m_histories[slot];
    const std::string& previous = history.empty() ? kNull : history.back();
    uint64_t now = 0;
    uint64_t before = 0;
    if (!value.empty() && value.find('.') == std::string_view::npos && ParseWhole(value, now) &&
        (previous == kNull || ParseWhole(previous, before))) {
      // The quick path for counters, with the same wrap rule as WrapFilter.
      const bool wrapped =
          previous != kNull && now < before && before > kWrapLimit && now < kWrapLimit;
      history.push_back(wrapped ? kNull : std::string(value));
      continue;
    }
    text.assign(value);
    if (!IsNumeric(text)) {
      history.push_back(kNull);
    } else {
      history.push_back(WrapFilter(text, previous));
    }
  }
  EvaluateFormulas(interval);
  const int last = std::min(m_config.LastSlot, static_cast<int>(m_histories.size()) - 1);
  for (int s = 0; s <= last; ++s) {
    std::vector<std::string>& history = m_histories[s];
    if (history.size() > 5) history.erase(history.begin(), history.end() - 5);
    while (history.size() < 5) history.push_back(kNull);
  }
  FeedChart();
  if (m_config.RefreshInstances) CheckInstanceRefresh();
}

void TSession::EvaluateFormulas(int interval) {
  if (m_config.Formulas.empty()) return;
  const int rows = m_config.InstanceMode > 1 ? static_cast<int>(m_instances.size()) : 1;
  const int targets = static_cast<int>(m_config.TargetOids.size());
  const int width = Width();
  for (int r = 0; r < rows; ++r) {
    for (int f = 0; f < static_cast<int>(m_config.Formulas.size()); ++f) {
      const std::string result = EvaluateFormulaEntry(
          m_config.Formulas[f], interval,
          [this, r](const std::string& oid) { return LatestTargetValue(oid, r); });
      const int slot = r * width + targets + f;
      if (slot < static_cast<int>(m_histories.size())) m_histories[slot].push_back(result);
    }
  }
}

std::string TSession::LatestTargetValue(const std::string& oid, int row) const {
  const int c = TargetIndex(oid, m_config.TargetOids);
  if (c < 0) return kNull;
  const std::vector<std::string>& history = History(c + row * Width());
  return history.empty() ? kNull : history.back();
}

}  // namespace kestrava
