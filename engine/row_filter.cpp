#include "engine/row_filter.h"

#include <QRegularExpression>
#include <algorithm>

#include "shared/item_list.h"
#include "shared/oid.h"

namespace kestrava {

TLabelPattern::TLabelPattern(const std::string& pattern, bool ignoreCase) {
  if (pattern.empty()) return;
  auto expression = std::make_shared<QRegularExpression>(
      QString::fromStdString(pattern),
      ignoreCase ? QRegularExpression::CaseInsensitiveOption : QRegularExpression::NoPatternOption);
  // Compiled once here, not on the first of many rows.
  expression->optimize();
  m_expression = std::move(expression);
}

bool TLabelPattern::Valid() const {
  return !m_expression || m_expression->isValid();
}

bool TLabelPattern::Matches(const std::string& text) const {
  return !m_expression || m_expression->match(QString::fromStdString(text)).hasMatch();
}

TRowFilter::TRowFilter(const TConfigRec& config)
    : m_include(config.IncludeLabels, false),
      m_exclude(config.ExcludeLabels, false),
      m_ifTypes(config.IfTypes),
      m_upOnly(config.UpOnly) {}

bool TRowFilter::Any() const {
  return !m_include.Empty() || !m_exclude.Empty() || NeedsFacts();
}

std::string TRowFilter::FactOids(const std::vector<TInstance>& instances) const {
  std::string oids;
  if (!NeedsFacts()) return oids;
  for (const TInstance& instance : instances) {
    if (!m_ifTypes.empty()) AppendItem(oids, kIfTypeColumn + instance.Suffix);
    if (m_upOnly) AppendItem(oids, kIfOperStatusColumn + instance.Suffix);
  }
  return oids;
}

bool TRowFilter::Passes(const TInstance& row, const TRowFacts& facts) const {
  if (!m_include.Matches(row.Label)) return false;
  if (!m_exclude.Empty() && m_exclude.Matches(row.Label)) return false;
  if (!m_ifTypes.empty() &&
      std::find(m_ifTypes.begin(), m_ifTypes.end(), facts.IfType) == m_ifTypes.end())
    return false;
  return !m_upOnly || facts.OperStatus == kOperStatusUp;
}

void TRowFactsTable::Learn(std::string_view oid, const TSnmpValue& value) {
  // An INTEGER of these columns is a 32-bit enumeration: anything wider is no type or state.
  if (value.Tag != kTagInteger || value.Magnitude > (value.Negative ? 2147483648u : 2147483647u))
    return;
  const int number = static_cast<int>(value.Negative ? -static_cast<int64_t>(value.Magnitude)
                                                     : static_cast<int64_t>(value.Magnitude));
  for (const std::string_view column :
       {std::string_view(kIfTypeColumn), std::string_view(kIfOperStatusColumn)}) {
    if (!IsUnderOid(oid, column)) continue;
    TRowFacts& facts = m_facts[std::string(oid.substr(column.size()))];
    (column == kIfTypeColumn ? facts.IfType : facts.OperStatus) = number;
    return;
  }
}

TRowFacts TRowFactsTable::Of(const std::string& suffix) const {
  const auto found = m_facts.find(suffix);
  return found == m_facts.end() ? TRowFacts() : found->second;
}

}  // namespace kestrava
