#include "engine/discovery.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

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
  m_refreshFound.clear();
  m_maskChoices.clear();
  m_choice = -1;
  m_filteredOut = 0;
}

void TDiscovery::FilterRows() {
  m_filteredOut = 0;
  if (!m_admits) return;
  const auto refused = std::remove_if(m_rows.begin(), m_rows.end(),
                                      [this](const TInstance& row) { return !m_admits(row); });
  m_filteredOut = static_cast<int>(m_rows.end() - refused);
  m_rows.erase(refused, m_rows.end());
}

bool TDiscovery::Takes(const std::string& suffix) const {
  return m_mask.empty() || m_mask.find("RT") != std::string::npos || MatchInstance(suffix, m_mask);
}

TWalkStep TDiscovery::Judge(std::string_view oid, TWalkBinding binding, const std::string& value,
                            std::vector<TInstance>& into, std::vector<TInstance>* alsoInto) {
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
    if (alsoInto) alsoInto->push_back(into.back());
    step.Taken = true;
  }
  return step;
}

void TDiscovery::StartWalk() {
  m_rows.clear();
  m_walked = 0;
}

TWalkStep TDiscovery::Step(std::string_view oid, TWalkBinding binding, const std::string& value) {
  return Judge(oid, binding, value, m_rows, &m_found);
}

void TDiscovery::BuildMaskChoices() {
  for (const TInstance& found : m_found) {
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
  m_rows.clear();
  if (choice < 0 || choice >= static_cast<int>(m_maskChoices.size())) return false;
  // The picked entry replaces the configured mask for good.
  m_mask = m_maskChoices[static_cast<size_t>(choice)];
  for (const TInstance& found : m_found) {
    if (MatchInstance(found.Suffix, m_mask)) m_rows.push_back(found);
  }
  FilterRows();
  return true;
}

void TDiscovery::StartRefresh() {
  m_refreshFound.clear();
  m_walked = 0;
}

TWalkStep TDiscovery::RefreshStep(std::string_view oid, TWalkBinding binding,
                                  const std::string& value) {
  return Judge(oid, binding, value, m_refreshFound, nullptr);
}

TRowChanges TDiscovery::EndRefresh() {
  TRowChanges changes;
  if (m_refreshFound.empty()) return changes;
  const std::unordered_set<std::string_view> fresh = Suffixes(m_refreshFound);
  // A row the filter now refuses (its interface went down, its label changed) goes as a
  // vanished one does, but stays found.
  std::unordered_set<std::string_view> refused;
  if (m_admits) {
    for (const TInstance& candidate : m_refreshFound)
      if (!m_admits(candidate)) refused.insert(candidate.Suffix);
  }
  for (size_t row = 0; row < m_rows.size();) {
    const bool vanished = !fresh.count(m_rows[row].Suffix);
    if (!vanished && !refused.count(m_rows[row].Suffix)) {
      ++row;
      continue;
    }
    changes.Removed.push_back(static_cast<int>(row));
    // The found entry of the same instance goes too (rows may be a subset of what was found).
    const auto found = std::find_if(m_found.begin(), m_found.end(), [&](const TInstance& f) {
      return f.Suffix == m_rows[row].Suffix;
    });
    if (vanished && found != m_found.end()) m_found.erase(found);
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
  }
  m_filteredOut = 0;
  const bool runtimeMask = m_mask.find("RT") != std::string::npos;
  std::unordered_set<std::string> rows;
  for (const TInstance& row : m_rows) rows.insert(row.Suffix);
  std::unordered_set<std::string> found;
  for (const TInstance& f : m_found) found.insert(f.Suffix);
  for (const TInstance& candidate : m_refreshFound) {
    if (rows.count(candidate.Suffix)) continue;
    if (runtimeMask &&
        (m_choice < 0 || m_choice >= static_cast<int>(m_maskChoices.size()) ||
         !MatchInstance(candidate.Suffix, m_maskChoices[static_cast<size_t>(m_choice)])))
      continue;
    if (refused.count(candidate.Suffix)) {
      ++m_filteredOut;
      if (found.insert(candidate.Suffix).second) m_found.push_back(candidate);
      continue;
    }
    m_rows.push_back(candidate);
    rows.insert(candidate.Suffix);
    if (found.insert(candidate.Suffix).second) m_found.push_back(candidate);
    ++changes.Appended;
  }
  return changes;
}

}  // namespace kestrava
