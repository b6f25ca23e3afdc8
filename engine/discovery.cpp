#include "engine/discovery.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "shared/instance_helpers.h"
#include "shared/label_text.h"

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

std::unordered_set<std::string_view> Suffixes(const std::vector<TInstance>& instances) {
  std::unordered_set<std::string_view> out;
  out.reserve(instances.size());
  for (const TInstance& instance : instances) out.insert(instance.Suffix);
  return out;
}

}  // namespace

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

void TDiscovery::Reset(std::string labelOid, std::string mask) {
  m_labelOid = std::move(labelOid);
  m_mask = std::move(mask);
  m_rows.clear();
  m_found.clear();
  m_foundApart = false;
  m_refreshFound = {};
  m_maskChoices.clear();
  m_choice = -1;
  m_filteredOut = 0;
}

void TDiscovery::FilterRows() {
  m_filteredOut = 0;
  if (!m_admits) return;
  const auto refuses = [this](const TInstance& row) { return !m_admits(row); };
  if (std::none_of(m_rows.begin(), m_rows.end(), refuses)) return;
  // The refused stay found (as mask choices): what was found is now a list of its own.
  SetFoundApart();
  std::vector<TInstance>& rows = m_rows.Edit();
  const auto refused = std::remove_if(rows.begin(), rows.end(), refuses);
  m_filteredOut = static_cast<int>(rows.end() - refused);
  rows.erase(refused, rows.end());
}

void TDiscovery::SetFoundApart() {
  if (m_foundApart) return;
  m_found = m_rows;
  m_foundApart = true;
}

bool TDiscovery::Takes(const std::string& suffix) const {
  return m_mask.empty() || m_mask.find("RT") != std::string::npos || MatchInstance(suffix, m_mask);
}

TWalkStep TDiscovery::Judge(std::string_view oid, TWalkBinding binding, const std::string& value,
                            std::vector<TInstance>& into) {
  TWalkStep step;
  if (binding == TWalkBinding::kOutside || binding == TWalkBinding::kException) return step;
  const std::string suffix(oid.substr(m_labelOid.size()));
  // The instance taken last once more ends the walk as the column's end does.
  if (!into.empty() && suffix == into.back().Suffix) return step;
  if (binding == TWalkBinding::kNotIncreasing) {
    // An agent that goes back or stands still would keep the walk going for ever.
    step.Kind = TWalkStep::kOutOfOrder;
    return step;
  }
  if (m_walked >= m_rowLimit) {
    step.Kind = TWalkStep::kLimit;
    return step;
  }
  ++m_walked;
  step.Kind = TWalkStep::kNext;
  if (Takes(suffix)) {
    // The agent's text is shown and written: no control or direction-changing characters.
    into.push_back(TInstance{suffix, SafeLabel(value)});
    step.Taken = true;
  }
  return step;
}

void TDiscovery::StartWalk() {
  m_rows.clear();
  m_found.clear();
  m_foundApart = false;
  m_walked = 0;
}

TWalkStep TDiscovery::Step(std::string_view oid, TWalkBinding binding, const std::string& value) {
  // What a walk takes is both the rows and what was found: one list.
  return Judge(oid, binding, value, m_rows.Edit());
}

void TDiscovery::BuildMaskChoices() {
  for (const TInstance& found : Found()) {
    for (const std::string& entry : MaskEntries(m_mask, found.Suffix)) {
      if (ChoiceIndex(entry) < 0) m_maskChoices.push_back(entry);
    }
  }
}

int TDiscovery::ChoiceIndex(const std::string& entry) const {
  const auto at = std::find(m_maskChoices.begin(), m_maskChoices.end(), entry);
  return at == m_maskChoices.end() ? -1 : static_cast<int>(at - m_maskChoices.begin());
}

bool TDiscovery::Select(int choice) {
  m_choice = choice;
  SetFoundApart();
  m_rows.clear();
  if (choice < 0 || choice >= static_cast<int>(m_maskChoices.size())) return false;
  // The picked entry replaces the configured mask for good.
  m_mask = m_maskChoices[static_cast<size_t>(choice)];
  std::vector<TInstance> rows;
  for (const TInstance& found : m_found) {
    if (MatchInstance(found.Suffix, m_mask)) rows.push_back(found);
  }
  m_rows = TRowTable(std::move(rows));
  FilterRows();
  return true;
}

void TDiscovery::StartRefresh() {
  m_refreshFound.clear();
  m_walked = 0;
}

TWalkStep TDiscovery::RefreshStep(std::string_view oid, TWalkBinding binding,
                                  const std::string& value) {
  return Judge(oid, binding, value, m_refreshFound);
}

TRowChanges TDiscovery::EndRefresh() {
  TRowChanges changes;
  // The walk's list is let go here, whatever it changed.
  const std::vector<TInstance> walked = std::exchange(m_refreshFound, {});
  if (walked.empty()) return changes;
  const std::unordered_set<std::string_view> fresh = Suffixes(walked);
  // A row the filter now refuses (its interface went down, its label changed) goes as a
  // vanished one does, but stays found.
  std::unordered_set<std::string_view> refused;
  if (m_admits) {
    for (const TInstance& candidate : walked)
      if (!m_admits(candidate)) refused.insert(candidate.Suffix);
  }
  if (!refused.empty()) SetFoundApart();

  // The rows that go; the rows are changed (and so copied, when shared) only when some do.
  std::unordered_set<std::string_view> vanished;
  std::vector<bool> going(m_rows.size());
  for (size_t row = 0; row < m_rows.size(); ++row) {
    const std::string_view suffix = m_rows[row].Suffix;
    if (!fresh.count(suffix)) vanished.insert(suffix);
    if (!fresh.count(suffix) || refused.count(suffix)) {
      going[row] = true;
      changes.Removed.push_back(static_cast<int>(row) - static_cast<int>(changes.Removed.size()));
    }
  }
  // The found entry of a vanished row goes too (rows may be a subset of what was found).
  if (m_foundApart && !vanished.empty()) {
    std::vector<TInstance>& found = m_found.Edit();
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](const TInstance& f) { return vanished.count(f.Suffix) > 0; }),
                found.end());
  }
  vanished.clear();  // its views into the rows end as the rows change
  if (!changes.Removed.empty()) {
    std::vector<TInstance>& rows = m_rows.Edit();
    size_t kept = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
      if (going[row]) continue;
      if (kept != row) rows[kept] = std::move(rows[row]);
      ++kept;
    }
    rows.resize(kept);
  }

  m_filteredOut = 0;
  const bool runtimeMask = m_mask.find("RT") != std::string::npos;
  // Views into the lists as they stand and into the walk's: nothing is added before the end.
  std::unordered_set<std::string_view> rows = Suffixes(m_rows.Items());
  std::unordered_set<std::string_view> found;
  if (m_foundApart) found = Suffixes(m_found.Items());
  std::vector<const TInstance*> newRows;
  std::vector<const TInstance*> newFound;
  for (const TInstance& candidate : walked) {
    if (rows.count(candidate.Suffix)) continue;
    if (runtimeMask &&
        (m_choice < 0 || m_choice >= static_cast<int>(m_maskChoices.size()) ||
         !MatchInstance(candidate.Suffix, m_maskChoices[static_cast<size_t>(m_choice)])))
      continue;
    if (refused.count(candidate.Suffix)) {
      ++m_filteredOut;
      if (found.insert(candidate.Suffix).second) newFound.push_back(&candidate);
      continue;
    }
    newRows.push_back(&candidate);
    rows.insert(candidate.Suffix);
    if (m_foundApart && found.insert(candidate.Suffix).second) newFound.push_back(&candidate);
  }
  if (!newRows.empty()) {
    std::vector<TInstance>& into = m_rows.Edit();
    for (const TInstance* row : newRows) into.push_back(*row);
  }
  if (!newFound.empty()) {
    std::vector<TInstance>& into = m_found.Edit();
    for (const TInstance* f : newFound) into.push_back(*f);
  }
  changes.Appended = static_cast<int>(newRows.size());
  return changes;
}

}  // namespace kestrava
