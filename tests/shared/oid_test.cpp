#include "shared/oid.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(OidTest, OrderIsNumericArcByArc) {
  const struct {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"1.3.6.1.2.1.2.2.1.2.1", "1.3.6.1.2.1.2.2.1.2", 1},  // under comes after
      {"1.3.6.1.2.1.2.2.1.2.10", "1.3.6.1.2.1.2.2.1.2.9", 1},
      {"1.3.6.1.2.1.2.2.1.2.9", "1.3.6.1.2.1.2.2.1.2.10", -1},
      {"1.3.6.1.2.1.2.2.1.2.3", "1.3.6.1.2.1.2.2.1.2.3", 0},
      {"1.3.6.1.2.1.2.2.1.3", "1.3.6.1.2.1.2.2.1.2.300", 1},
      {"1.3.6.1.4.1.99999999999999999999", "1.3.6.1.4.1.4294967295", 1},  // no overflow
      {"1.3.6.1.4.1.20", "1.3.6.1.4.1.3.1", 1},
      {"1", "1.0", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareOids(c.a, c.b), c.order) << c.a << " " << c.b;
    EXPECT_EQ(CompareOids(c.b, c.a), -c.order) << c.b << " " << c.a;
  }
}

}  // namespace
}  // namespace kestrava
