#include "snmp/walk.h"

#include <algorithm>

#include "shared/oid.h"
#include "snmp/codec.h"

namespace kestrava {

namespace {

// The error statuses a walk reads for itself.
constexpr int kTooBig = 1;
constexpr int kNoSuchName = 2;

bool IsException(int type) {
  return type == kTagNoSuchObject || type == kTagNoSuchInstance || type == kTagEndOfMibView;
}

}  // namespace

TWalk::TWalk(std::string root, int repetitions, int snmpVersion, TReading reading)
    : m_root(std::move(root)),
      m_next(m_root),
      m_repetitions(std::max(0, repetitions)),
      m_snmpVersion(snmpVersion),
      m_reading(reading) {}

TWalkBinding TWalk::Judge(std::string_view after, const TWalkBindingRef& binding) const {
  // net-snmp counts the root itself as inside the subtree; rows lie strictly under it (a
  // column ends at a "." boundary: "...1.2" does not claim "...1.20.1").
  const bool inside = IsUnderOid(binding.Oid, m_root) ||
                      (m_reading == TReading::kLikeNetSnmp && binding.Oid == m_root);
  if (!inside) return TWalkBinding::kOutside;
  if (IsException(binding.Type)) return TWalkBinding::kException;
  if (CompareOids(binding.Oid, after) <= 0) return TWalkBinding::kNotIncreasing;
  return TWalkBinding::kRow;
}

TWalk::TStep TWalk::Step(int errorStatus, std::span<const TWalkBindingRef> bindings,
                         const OnBinding& onBinding) {
  const bool rows = m_reading == TReading::kRows;
  const bool bulk = m_repetitions > 0;
  // An answer too big to build: rows are gathered with smaller answers; net-snmp reports it.
  if (rows && bulk && errorStatus == kTooBig && m_repetitions > 1) {
    m_repetitions = std::max(1, m_repetitions / 2);
    return TStep::kAgain;
  }
  if (errorStatus == kNoSuchName && (m_snmpVersion == 1 || (bulk && !rows)))
    return TStep::kEndOfView;
  if (errorStatus != 0) return TStep::kError;
  if (bindings.empty()) return TStep::kEmpty;
  // A get-next answer names the next row in its last binding; net-snmp reads every binding.
  const size_t first = rows && !bulk ? bindings.size() - 1 : 0;
  // net-snmp judges every binding against the step's OID; rows must each follow the one before,
  // or one answer could name a row twice.
  std::string_view after = m_next;
  bool over = false;
  for (size_t i = first; i < bindings.size(); ++i) {
    const TWalkBinding binding = Judge(after, bindings[i]);
    over = over || binding != TWalkBinding::kRow;
    // net-snmp reads on to the answer's end (and prints what else lies in the subtree); rows
    // end at the first binding that is none.
    if (!onBinding(i, binding) || (rows && over)) return TStep::kOver;
    if (rows) after = bindings[i].Oid;
  }
  if (over) return TStep::kOver;
  m_next.assign(bindings.back().Oid);
  return TStep::kNext;
}

bool TWalk::Lost() {
  if (m_repetitions == 0) return false;
  // Most likely too big to come: the smallest answer goes next, then a get-next in case the
  // agent answers get-next only.
  m_repetitions = m_repetitions > 1 ? std::max(1, m_repetitions / 2) : 0;
  return true;
}

}  // namespace kestrava
