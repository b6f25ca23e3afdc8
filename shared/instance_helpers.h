#pragma once
// Helpers that map between the grid of value slots and the texts the engine meets: response OIDs
// to slots, slots to slice labels and visibility, discovered instances against the instance mask,
// and new counter values against a 32-bit wrap. The grid has one row per instance and W = T + F
// columns (T plain targets first, then F formulas); slot = row x W + column.
// Thread: the window's thread; the functions only read their arguments. TSlotIndex is a plain
// value owned by its caller.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shared/oid_names.h"

namespace kestrava {

// Longest slice label; longer ones are cut to 26 characters and "..//".
inline constexpr int kMaxLabelLength = 30;

// A formula column is always shown; a target column unless its visibility entry is "2". Any
// failure (no columns, an index out of range) gives true.
bool IsSlotShown(int slot, const std::vector<std::string>& targetOids,
                 const std::vector<std::string>& targetVisibility,
                 const std::vector<std::string>& formulas);

// The slice label of `slot`: the target's symbol or the formula's label, then "_" + description
// (with a label OID) or the instance suffix, shortened. Instance suffixes are added only in the
// instance modes 2 and 3. Any failure gives "".
std::string SliceLabel(int slot, const std::vector<std::string>& targetOids, int instanceMode,
                       bool hasLabelOid, const std::vector<std::string>& instanceDescrs,
                       const std::vector<std::string>& instances,
                       const std::vector<std::string>& formulas, const TOidNames& names);

// SliceLabel of one column of one row, given that row's description and instance suffix.
std::string ColumnSliceLabel(size_t column, const std::vector<std::string>& targetOids,
                             const std::vector<std::string>& formulas, int instanceMode,
                             bool hasLabelOid, std::string_view descr, std::string_view instance,
                             const TOidNames& names);

// The text before the first "," of a formula entry (the whole entry when it has none).
std::string FormulaLabel(const std::string& entry);

// `s` when it has at most 30 characters, else its first 26 characters and "..//". Characters are
// UTF-8 code points, so a cut never splits one.
std::string ShortenLabel(const std::string& s);

// The index of the first target that equals `oid` or is its prefix at a "." boundary, or -1.
int TargetIndex(std::string_view oid, const std::vector<std::string>& targetOids);

// Splits `oid` into the target OID that claims it and the instance suffix after it ("" or
// beginning with "."). False, with both outputs untouched, when no target claims it.
bool SplitOid(const std::string& oid, const std::vector<std::string>& targetOids,
              std::string& targetOid, std::string& suffix);

// The index of the first entry of `list` equal to `text`, or -1.
int IndexOfExact(std::string_view text, const std::vector<std::string>& list);

// The slot of a response OID, or -1 when its target or (in instance modes above 1) its instance
// is unknown. In the other modes the slot is the target's index.
int SlotOfOid(const std::string& oid, const std::vector<std::string>& targetOids, int instanceMode,
              const std::vector<std::string>& instances, const std::vector<std::string>& formulas);

// True when `s` is completely a decimal floating-point number with "." as separator.
bool IsNumeric(const std::string& s);

// True when a counter fell from above 2^31 to below it: it wrapped at 32 bits.
bool Wrapped32(long double now, long double before);

// `newValue`, or "Null" when it fell from above 2^31 to below 2^31 (a wrapped 32-bit counter).
// A text that is not a number (a previous "Null") leaves `newValue` unchanged.
std::string WrapFilter(const std::string& newValue, const std::string& previous);

// Whether an instance suffix (".5.3") matches an instance mask ("*.3"): "*" and "RT" match any
// component, "-" matches everything from there on, and the first other component decides alone.
bool MatchInstance(const std::string& instance, const std::string& mask);

// SlotOfOid over an index of the targets and instances, built again by Rebuild whenever the
// instance list changes. Gives exactly the results of SlotOfOid over the same lists.
class TSlotIndex {
 public:
  void Rebuild(const std::vector<std::string>& targetOids, int instanceMode,
               const std::vector<std::string>& instances, int formulaCount);
  int SlotOfOid(std::string_view oid) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Map = std::unordered_map<std::string, int, Hash, std::equal_to<>>;

  int targetIndex(std::string_view oid) const;

  std::vector<std::string> m_targets;
  Map m_targetRows;    // first index of each target OID, used when there are many targets
  Map m_instanceRows;  // first row of each instance suffix
  int m_instanceMode = 0;
  int m_width = 0;
};

}  // namespace kestrava
