#pragma once
// Counts the heap blocks a test program takes: the program's global operator new is replaced by
// one that counts. Include it in one file of a test program only (it defines the operators).
// Thread: any; the count is atomic.

#include <atomic>
#include <cstdlib>
#include <new>

namespace testing_alloc {

inline std::atomic<long> g_allocations{0};

inline long Allocations() {
  return g_allocations.load();
}

}  // namespace testing_alloc

void* operator new(std::size_t size) {
  testing_alloc::g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
