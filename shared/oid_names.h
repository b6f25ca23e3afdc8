#pragma once
// TOidNames: the OID name table of one session. It maps dotted numeric OIDs (no leading dot) to
// readable names: the 210 names of the management tree down to "enterprises" and of MIB-II, and
// the display names the session's configuration gives its targets. Keys compare exactly,
// case-sensitive. Each session owns its table, so that two sessions never see each other's names.
// Thread: a plain value; its owner's thread. The built-in rows are shared read-only.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrava {

struct TOIDRec {
  std::string Oid, Name;
};

class TOidNames {
 public:
  // The built-in rows in their fixed order.
  TOidNames();

  // Replaces the name of an existing `oid`, or appends a new row at the end.
  void Register(const std::string& oid, const std::string& name);

  // The name registered for exactly `oid`, or "" when there is none.
  std::string Name(std::string_view oid) const;

  // The name of the longest registered prefix of `oid` (at a "." boundary) followed by the rest
  // of `oid`: "ifInOctets.3". Without a registered prefix only the rest from the first "." remains.
  std::string Symbol(const std::string& oid) const;

  // The number of rows, and a copy of them in table order.
  int Count() const { return static_cast<int>(m_rows.size()); }
  const std::vector<TOIDRec>& Rows() const { return m_rows; }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  const std::string* Find(std::string_view oid) const;

  std::vector<TOIDRec> m_rows;
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> m_positions;
};

}  // namespace kestrava
