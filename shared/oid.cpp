#include "shared/oid.h"

namespace kestrava {

namespace {

// The arc of oid that starts at `at`, and where the next one starts (past its dot).
std::string_view NextArc(std::string_view oid, size_t& at) {
  const size_t dot = oid.find('.', at);
  const std::string_view arc = oid.substr(at, dot == std::string_view::npos ? dot : dot - at);
  at = dot == std::string_view::npos ? oid.size() + 1 : dot + 1;
  return arc;
}

}  // namespace

int CompareOids(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i <= a.size() && j <= b.size()) {
    const std::string_view x = NextArc(a, i);
    const std::string_view y = NextArc(b, j);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    if (const int order = x.compare(y); order != 0) return order < 0 ? -1 : 1;
  }
  // One ran out of arcs first: the shorter comes first.
  if (i > a.size() && j > b.size()) return 0;
  return i > a.size() ? -1 : 1;
}

bool IsUnderOid(std::string_view oid, std::string_view root) {
  return oid.size() > root.size() + 1 && oid.compare(0, root.size(), root) == 0 &&
         oid[root.size()] == '.';
}

}  // namespace kestrava
