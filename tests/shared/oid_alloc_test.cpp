// The OID order is read arc by arc over the texts as they are: comparing takes no heap block
// (walks compare every binding they read). The allocator is counted while it runs.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "shared/oid.h"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace kestrava {
namespace {

TEST(OidAllocTest, ComparingTakesNoHeapBlock) {
  // Longer than any short-string buffer, so that a copy would show.
  const std::string a = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.4294967295";
  const std::string b = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.4294967296";
  const std::string root = "1.3.6.1.4.1.99999.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15";
  const long before = g_allocations.load();
  int order = 0;
  bool under = true;
  for (int i = 0; i < 100; ++i) {
    order += CompareOids(a, b) + CompareOids(b, a) + CompareOids(a, a) + CompareOids(root, a);
    under = under && IsUnderOid(a, root) && !IsUnderOid(root, a);
  }
  EXPECT_EQ(g_allocations.load() - before, 0);
  EXPECT_EQ(order, -100);
  EXPECT_TRUE(under);
}

}  // namespace
}  // namespace kestrava
