// The OID order is read arc by arc over the texts as they are: comparing takes no heap block
// (walks compare every binding they read). The allocator is counted while it runs.

#include <gtest/gtest.h>

#include <string>

#include "allocation_counter.h"
#include "shared/oid.h"

namespace kestrava {
namespace {

TEST(OidAllocTest, ComparingTakesNoHeapBlock) {
  // Longer than any short-string buffer, so that a copy would show.
  const std::string a = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.4294967295";
  const std::string b = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.4294967296";
  const std::string root = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15";
  const long before = testing_alloc::Allocations();
  int order = 0;
  bool under = true;
  for (int i = 0; i < 100; ++i) {
    order += CompareOids(a, b) + CompareOids(b, a) + CompareOids(a, a) + CompareOids(root, a);
    under = under && IsUnderOid(a, root) && !IsUnderOid(root, a);
  }
  EXPECT_EQ(testing_alloc::Allocations() - before, 0);
  EXPECT_EQ(order, -100);
  EXPECT_TRUE(under);
}

}  // namespace
}  // namespace kestrava
