#include "shared/instance_helpers.h"

#include "shared/number_text.h"
#include "shared/oid_names.h"

namespace kestrava {
namespace {

// A counter that falls from above this to below it has wrapped at 32 bits.
constexpr long double kWrapThreshold = 2147483648.0L;
// The number of targets up to which a straight scan beats hashing every prefix of the OID.
constexpr size_t kScanTargets = 16;

// Whether `target` claims `oid`: equal, or a prefix followed by ".".
bool Claims(std::string_view target, std::string_view oid) {
  return oid.size() >= target.size() && oid.compare(0, target.size(), target) == 0 &&
         (oid.size() == target.size() || oid[target.size()] == '.');
}

// The next component of a component list that ends with "." ("" once the list is used up).
std::string_view NextComponent(std::string_view& list) {
  const size_t dot = list.find('.');
  if (dot == std::string_view::npos) {
    const std::string_view last = list;
    list = {};
    return last;
  }
  const std::string_view component = list.substr(0, dot);
  list.remove_prefix(dot + 1);
  return component;
}

}  // namespace

bool IsSlotShown(int slot, const std::vector<std::string>& targetOids,
                 const std::vector<std::string>& targetVisibility,
                 const std::vector<std::string>& formulas) {
  const int width = static_cast<int>(targetOids.size() + formulas.size());
  if (width == 0 || slot < 0) return true;
  const size_t column = static_cast<size_t>(slot % width);
  if (column >= targetOids.size()) return true;
  if (column >= targetVisibility.size()) return true;
  return targetVisibility[column] != "2";
}

std::string SliceLabel(int slot, const std::vector<std::string>& targetOids, int instanceMode,
                       bool hasLabelOid, const std::vector<std::string>& instanceDescrs,
                       const std::vector<std::string>& instances,
                       const std::vector<std::string>& formulas, const TOidNames& names) {
  const size_t width = targetOids.size() + formulas.size();
  if (width == 0 || slot < 0) return std::string();
  const size_t column = static_cast<size_t>(slot) % width;
  const size_t row = static_cast<size_t>(slot) / width;
  const bool rowNamed = instanceMode == 2 || instanceMode == 3;
  if (rowNamed && row >= (hasLabelOid ? instanceDescrs.size() : instances.size()))
    return std::string();
  return ColumnSliceLabel(column, targetOids, formulas, instanceMode, hasLabelOid,
                          rowNamed && hasLabelOid ? instanceDescrs[row] : std::string(),
                          rowNamed && !hasLabelOid ? instances[row] : std::string(), names);
}

std::string ColumnSliceLabel(size_t column, const std::vector<std::string>& targetOids,
                             const std::vector<std::string>& formulas, int instanceMode,
                             bool hasLabelOid, std::string_view descr, std::string_view instance,
                             const TOidNames& names) {
  if (column >= targetOids.size() + formulas.size()) return std::string();
  std::string label = column < targetOids.size()
                          ? names.Symbol(targetOids[column])
                          : FormulaLabel(formulas[column - targetOids.size()]);
  if (instanceMode == 2 || instanceMode == 3) {
    if (hasLabelOid) {
      label += '_';
      label += descr;
    } else {
      label += instance;
    }
  }
  return ShortenLabel(label);
}

std::string FormulaLabel(const std::string& entry) {
  return entry.substr(0, entry.find(','));
}

std::string ShortenLabel(const std::string& s) {
  // Counts code points: a UTF-8 continuation byte (10xxxxxx) adds no character.
  auto isCharStart = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
  constexpr int kKept = kMaxLabelLength - 4;
  int characters = 0;
  size_t cut = s.size();
  for (size_t i = 0; i < s.size(); ++i) {
    if (!isCharStart(s[i])) continue;
    if (characters == kKept) cut = i;
    if (++characters > kMaxLabelLength) return s.substr(0, cut) + "..//";
  }
  return s;
}

int TargetIndex(std::string_view oid, const std::vector<std::string>& targetOids) {
  for (size_t i = 0; i < targetOids.size(); ++i) {
    if (Claims(targetOids[i], oid)) return static_cast<int>(i);
  }
  return -1;
}

bool SplitOid(const std::string& oid, const std::vector<std::string>& targetOids,
              std::string& targetOid, std::string& suffix) {
  const int index = TargetIndex(oid, targetOids);
  if (index < 0) return false;
  targetOid = targetOids[index];
  suffix = oid.substr(targetOid.size());
  return true;
}

int IndexOfExact(std::string_view text, const std::vector<std::string>& list) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i);
  }
  return -1;
}

int SlotOfOid(const std::string& oid, const std::vector<std::string>& targetOids, int instanceMode,
              const std::vector<std::string>& instances, const std::vector<std::string>& formulas) {
  if (instanceMode <= 1) return TargetIndex(oid, targetOids);
  const int target = TargetIndex(oid, targetOids);
  if (target < 0) return -1;
  const std::string_view suffix = std::string_view(oid).substr(targetOids[target].size());
  const int row = IndexOfExact(suffix, instances);
  if (row < 0) return -1;
  return target + row * static_cast<int>(targetOids.size() + formulas.size());
}

bool IsNumeric(const std::string& s) {
  long double unused;
  return ParseDecimal(s, unused);
}

bool Wrapped32(long double now, long double before) {
  return now < before && before > kWrapThreshold && now < kWrapThreshold;
}

std::string WrapFilter(const std::string& newValue, const std::string& previous) {
  long double now, before;
  if (!ParseDecimal(newValue, now) || !ParseDecimal(previous, before)) return newValue;
  return Wrapped32(now, before) ? std::string(kNull) : newValue;
}

bool MatchInstance(const std::string& instance, const std::string& mask) {
  if (instance.empty()) return false;
  // Both become component lists ending in "."; the instance loses its leading dot.
  const std::string instanceList = instance.substr(1) + '.';
  const std::string maskList = mask + '.';
  std::string_view instanceRest = instanceList;
  std::string_view maskRest = maskList;
  while (!maskRest.empty()) {
    const std::string_view want = NextComponent(maskRest);
    const std::string_view have = NextComponent(instanceRest);
    if (want == "*" || want == "RT") continue;
    if (want == "-") return true;
    return want == have;
  }
  return true;
}

void TSlotIndex::Rebuild(const std::vector<std::string>& targetOids, int instanceMode,
                         const std::vector<std::string>& instances, int formulaCount) {
  m_targets = targetOids;
  m_instanceMode = instanceMode;
  m_width = static_cast<int>(targetOids.size()) + formulaCount;
  m_targetRows.clear();
  if (m_targets.size() > kScanTargets) {
    for (size_t i = 0; i < m_targets.size(); ++i) {
      m_targetRows.try_emplace(m_targets[i], static_cast<int>(i));
    }
  }
  m_instanceRows.clear();
  if (instanceMode > 1) {
    m_instanceRows.reserve(instances.size());
    // try_emplace keeps the first row of a suffix that appears twice, as the scan would.
    for (size_t r = 0; r < instances.size(); ++r) {
      m_instanceRows.try_emplace(instances[r], static_cast<int>(r));
    }
  }
}

int TSlotIndex::targetIndex(std::string_view oid) const {
  if (m_targetRows.empty()) return TargetIndex(oid, m_targets);
  // Every target that claims the OID is one of its prefixes that ends before a "." or at its
  // end; the first target in list order wins.
  int best = -1;
  for (size_t end = 0; end <= oid.size(); ++end) {
    if (end < oid.size() && oid[end] != '.') continue;
    const auto it = m_targetRows.find(oid.substr(0, end));
    if (it != m_targetRows.end() && (best < 0 || it->second < best)) best = it->second;
  }
  return best;
}

int TSlotIndex::SlotOfOid(std::string_view oid) const {
  const int target = targetIndex(oid);
  if (m_instanceMode <= 1 || target < 0) return target;
  const auto it = m_instanceRows.find(oid.substr(m_targets[target].size()));
  if (it == m_instanceRows.end()) return -1;
  return target + it->second * m_width;
}

}  // namespace kestrava
