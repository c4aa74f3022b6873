// The global operator new, replaced to count; every form of new and delete
// that the library does not route through these two is replaced as well.
#include "tests/trigger/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
size_t allocations = 0;
}

size_t allocations_made() { return allocations; }

void count_allocation() { ++allocations; }

void* operator new(std::size_t size) {
  count_allocation();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  count_allocation();
  return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
